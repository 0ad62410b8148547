#!/usr/bin/env python3
"""The layers of src/ use only the layers below them.

Every #include "folder/..." of a file under src/ and cli/ must name its own layer or one that the
table below lets it use. The check first proves on a made-up tree that it finds an include that
runs up, then checks the project.

    layering_test.py SOURCE_DIR
"""
import os
import re
import sys
import tempfile

# Each layer and what it may include besides itself. "shimmerly" is the public header's folder
# (include/shimmerly): plain records every layer may use.
LAYERS = {
    "core": {"shimmerly"},
    "platform": {"core", "shimmerly"},
    "ui": {"core", "platform", "shimmerly"},
    "presets": {"core", "platform", "ui", "shimmerly"},
    "glow": {"core", "shimmerly"},
    "composite": {"core", "glow", "shimmerly"},
    "engine": {"core", "glow", "composite", "shimmerly"},
    "api": {"core", "platform", "presets", "engine", "shimmerly"},
    "host": {"core", "platform", "ui", "presets", "engine", "shimmerly"},
    "plugin": {"host", "core", "shimmerly"},
    "python": {"shimmerly"},
    # The host adapters (frei0r filter, GEGL operation) stand on the public library alone.
    "frei0r": {"shimmerly"},
    "gegl": {"shimmerly"},
    # The command-line host drives the plug-in through its interface only: the host records and
    # the parameter indices, never the host glue's insides.
    "cli": {"core", "platform", "presets", "shimmerly", "host/host_api.h", "host/param_indices.h"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def layer_of(relative):
    parts = relative.split("/")
    if parts[0] == "src":
        return parts[1] if len(parts) > 2 else None
    if parts[0] == "cli":
        return "cli"
    return None


def violations(root):
    found = []
    for top in ("src", "cli"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, root).replace(os.sep, "/")
                layer = layer_of(relative)
                if layer is None:
                    continue
                if layer not in LAYERS:
                    found.append(f"{relative}: folder '{layer}' is no layer of the table")
                    continue
                allowed = LAYERS[layer] | {layer}
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                for line, included in ((text[: m.start()].count("\n") + 1, m.group(1))
                                       for m in INCLUDE.finditer(text)):
                    target = included.split("/")[0]
                    if "/" not in included or target in allowed or included in allowed:
                        continue
                    found.append(f"{relative}:{line}: includes \"{included}\", from the layer "
                                 f"'{target}', which '{layer}' may not use")
    return found


def check_the_check():
    with tempfile.TemporaryDirectory() as root:
        for relative, text in {
            "src/core/raster.cpp": '#include "core/raster.h"\n',
            "src/glow/spread.cpp": '#include "core/raster.h"\n#include "engine/frame_render.h"\n',
            "cli/main.cpp": '#include "host/host_api.h"\n#include "host/params.h"\n',
        }.items():
            os.makedirs(os.path.dirname(os.path.join(root, relative)), exist_ok=True)
            with open(os.path.join(root, relative), "w", encoding="utf-8") as f:
                f.write(text)
        found = violations(root)
        expected = ["cli/main.cpp:2", "src/glow/spread.cpp:2"]
        got = sorted(v.split(": ")[0] for v in found)
        if got != expected:
            sys.exit(f"the layering check itself is broken: expected {expected}, got {found}")


def main():
    check_the_check()
    found = violations(sys.argv[1])
    for v in found:
        print(v)
    if found:
        sys.exit(f"{len(found)} include(s) run up the layers")
    print("every include of src/ and cli/ stays in its layer or below")


if __name__ == "__main__":
    main()
