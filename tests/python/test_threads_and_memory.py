"""Renders from several Python threads at once equal their serial results, the GIL is free
while a frame renders, and a long loop of renders does not grow the process's memory."""
import gc
import threading
import time
import tracemalloc

import numpy

import shimmerly
from conftest import random_image, random_settings


def test_four_threads_at_once_equal_their_serial_results(rng):
    jobs = []
    for _ in range(4):
        keywords, _ = random_settings(rng)
        jobs.append((random_image(rng, 48, 64), keywords))
    serial = [shimmerly.render(image, threads=1, **keywords) for image, keywords in jobs]
    results = [[] for _ in jobs]
    start = threading.Barrier(len(jobs))

    def work(n):
        image, keywords = jobs[n]
        start.wait()
        for threads in (1, 2, 0, 1, 2):
            results[n].append(shimmerly.render(image, threads=threads, **keywords))

    workers = [threading.Thread(target=work, args=(n,)) for n in range(len(jobs))]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    for n, expected in enumerate(serial):
        assert len(results[n]) == 5
        for got in results[n]:
            assert numpy.array_equal(got, expected), n


def test_python_runs_while_a_frame_renders(rng):
    image = random_image(rng, 2000, 2400)
    settings = dict(glow_size=300, blend="overlay", threads=1)
    began = time.perf_counter()
    shimmerly.render(image, **settings)
    duration = time.perf_counter() - began
    assert duration > 0.04, "the frame must take long enough to see the GIL's state"

    worker = threading.Thread(target=shimmerly.render, args=(image,), kwargs=settings)
    ticks = [time.perf_counter()]
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
    worker.join()
    ticks.append(time.perf_counter())
    gaps = numpy.diff(ticks)
    # With the GIL held the loop would stop for the whole render.
    assert len(ticks) > 100 and gaps.max() < duration / 2, (len(ticks), gaps.max(), duration)


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def test_a_thousand_renders_do_not_grow_memory(rng):
    frames = [random_image(rng, 12, 16) for _ in range(8)]
    settings = [random_settings(rng)[0] for _ in range(8)]
    for keywords in settings:
        keywords["glow_size"] = min(keywords["glow_size"], 20.0)
    out = numpy.empty_like(frames[0])

    def loop(count):
        for i in range(count):
            shimmerly.render(frames[i % 8], out=out if i % 2 else None, **settings[i % 8])
            try:
                shimmerly.render(frames[i % 8], glow_size=-1)
            except ValueError:
                pass

    loop(200)
    gc.collect()
    tracemalloc.start()
    before_python = tracemalloc.get_traced_memory()[0]
    before_rss = resident_bytes()
    loop(1000)
    gc.collect()
    grown_python = tracemalloc.get_traced_memory()[0] - before_python
    tracemalloc.stop()
    grown_rss = resident_bytes() - before_rss
    assert grown_python < 64 * 1024, grown_python
    assert grown_rss < 2 * 1024 * 1024, grown_rss
