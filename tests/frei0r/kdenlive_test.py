#!/usr/bin/env python3
"""Kdenlive's effect description of the frei0r filter parses, and matches the filter as a host
sees it: the parameters' names, order and types from f0r_get_param_info, the menus' entries as
the filter takes them, each double's displayed range mapping onto 0..1, and every default equal
to what f0r_get_param_value reports for a new instance. Also that the preset keywords name the
factory presets.

    kdenlive_test.py EFFECT_XML FILTER_SO FACTORY_PRESET_DIR
"""
import ctypes
import os
import sys
import xml.etree.ElementTree as ElementTree

F0R_PARAM_BOOL, F0R_PARAM_DOUBLE, F0R_PARAM_COLOR, F0R_PARAM_STRING = 0, 1, 2, 4


class ParamInfo(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("type", ctypes.c_int),
                ("explanation", ctypes.c_char_p)]


class PluginInfo(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("author", ctypes.c_char_p),
                ("plugin_type", ctypes.c_int), ("color_model", ctypes.c_int),
                ("frei0r_version", ctypes.c_int), ("major_version", ctypes.c_int),
                ("minor_version", ctypes.c_int), ("num_params", ctypes.c_int),
                ("explanation", ctypes.c_char_p)]


class Color(ctypes.Structure):
    _fields_ = [("r", ctypes.c_float), ("g", ctypes.c_float), ("b", ctypes.c_float)]


def main():
    xml_path, so_path, presets = sys.argv[1:4]
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    effect = ElementTree.parse(xml_path).getroot()
    check(effect.tag == "effect" and effect.get("tag") == "frei0r.shimmerly",
          f"the effect's tag is {effect.get('tag')!r}, not frei0r.shimmerly")
    params = effect.findall("parameter")

    lib = ctypes.CDLL(os.path.abspath(so_path))
    lib.f0r_construct.restype = ctypes.c_void_p
    lib.f0r_construct.argtypes = [ctypes.c_uint, ctypes.c_uint]
    lib.f0r_get_param_value.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
    lib.f0r_set_param_value.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
    lib.f0r_destruct.argtypes = [ctypes.c_void_p]
    check(lib.f0r_init() == 1, "f0r_init failed")
    plugin = PluginInfo()
    lib.f0r_get_plugin_info(ctypes.byref(plugin))
    check(len(params) == plugin.num_params,
          f"the description has {len(params)} parameters, the filter {plugin.num_params}")
    instance = lib.f0r_construct(8, 8)

    for index, param in enumerate(params[:plugin.num_params]):
        info = ParamInfo()
        lib.f0r_get_param_info(ctypes.byref(info), index)
        name, kind = info.name.decode(), param.get("type")
        where = f"parameter {index} ({param.get('name')})"
        check(param.get("name") == name, f"{where}: the filter's parameter {index} is {name}")
        check(param.find("name") is not None and param.find("name").text,
              f"{where}: no visible name")
        if info.type == F0R_PARAM_DOUBLE:
            check(kind == "constant", f"{where}: a double shown as {kind!r}")
            factor, offset = float(param.get("factor", 1)), float(param.get("offset", 0))
            check(offset == float(param.get("min")) and factor + offset == float(param.get("max")),
                  f"{where}: {param.get('min')} to {param.get('max')} is not 0..1 * {factor} + {offset}")
            value = ctypes.c_double()
            lib.f0r_get_param_value(instance, ctypes.byref(value), index)
            shown = round(value.value * factor + offset, 6)
            check(shown == float(param.get("default")),
                  f"{where}: default {param.get('default')}, the filter's {shown}")
        elif info.type == F0R_PARAM_BOOL:
            check(kind == "bool", f"{where}: a bool shown as {kind!r}")
            value = ctypes.c_double()
            lib.f0r_get_param_value(instance, ctypes.byref(value), index)
            check(float(param.get("default")) == value.value, f"{where}: default differs")
        elif info.type == F0R_PARAM_COLOR:
            check(kind == "color", f"{where}: a colour shown as {kind!r}")
            value = Color()
            lib.f0r_get_param_value(instance, ctypes.byref(value), index)
            rgb = "#%02x%02x%02x" % tuple(round(c * 255) for c in (value.r, value.g, value.b))
            check(param.get("default").lower() == rgb, f"{where}: default differs from {rgb}")
        elif info.type == F0R_PARAM_STRING:
            value = ctypes.c_char_p()
            lib.f0r_get_param_value(instance, ctypes.byref(value), index)
            check(param.get("default") == value.value.decode(),
                  f"{where}: default {param.get('default')!r}, the filter's {value.value!r}")
            if kind == "list":
                entries = param.get("paramlist").split(";")
                display = param.find("paramlistdisplay").text.split(",")
                check(len(display) == len(entries), f"{where}: {len(entries)} entries, "
                      f"{len(display)} display names")
                # Each entry is taken: setting it leaves no refusal, and the filter reports it
                # back; a word the filter does not know is refused.
                for entry in entries + ["no-such-entry"]:
                    text = ctypes.c_char_p(entry.encode())
                    lib.f0r_set_param_value(instance, ctypes.byref(text), index)
                    back = ctypes.c_char_p()
                    lib.f0r_get_param_value(instance, ctypes.byref(back), index)
                    taken = back.value.decode() == entry
                    check(taken == (entry != "no-such-entry"),
                          f"{where}: {entry!r} {'not ' if not taken else ''}taken by the filter")
                default = ctypes.c_char_p(param.get("default").encode())
                lib.f0r_set_param_value(instance, ctypes.byref(default), index)
            else:
                check(name == "preset" and kind == "keywords", f"{where}: shown as {kind!r}")
                keywords = param.find("keywords").text.split(";")
                factory = sorted(f[:-4] for f in os.listdir(presets) if f.endswith(".smr"))
                check(sorted(keywords) == factory,
                      f"{where}: keywords {keywords} are not the factory presets {factory}")
        else:
            failures.append(f"{where}: unexpected frei0r type {info.type}")
    lib.f0r_destruct(instance)
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(params)} parameters checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
