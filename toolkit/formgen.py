#!/usr/bin/env python3
"""Turns a form description (.ui) into a C++ header holding the same form as a
tk::FormDescription, so that the headless forms and every toolkit backend take
captions, texts, geometry and menus from the one file the designer edits.

Usage: formgen.py FORM.ui OUTPUT.h
"""
import sys
import xml.etree.ElementTree as ET


def cpp_string(text):
    out = []
    for ch in text.encode("utf-8"):
        c = chr(ch)
        if c == "\\":
            out.append("\\\\")
        elif c == '"':
            out.append('\\"')
        elif c == "\n":
            out.append("\\n")
        elif c == "\r":
            out.append("\\r")
        elif c == "\t":
            out.append("\\t")
        elif 32 <= ch < 127:
            out.append(c)
        else:
            # Octal keeps a following digit from joining the escape.
            out.append("\\%03o" % ch)
    return '"' + "".join(out) + '"'


def value_text(prop):
    """A property's value as the text the C++ side reads back."""
    child = prop[0] if len(prop) else None
    if child is None:
        return ""
    tag = child.tag
    if tag in ("string", "number", "enum", "set", "cstring"):
        return child.text or ""
    if tag == "bool":
        return (child.text or "false").strip()
    if tag == "pixmap":
        return (child.text or "").strip()
    if tag == "rect":
        return ",".join(child.findtext(k, "0") for k in ("x", "y", "width", "height"))
    if tag == "font":
        return "font"
    return ET.tostring(child, encoding="unicode")


def font_of(prop):
    if prop is None:
        return 'tk::FontDescription{"", 0, false}'
    font = prop.find("font")
    family = font.findtext("family", "")
    size = font.findtext("pointsize", "0")
    bold = font.findtext("bold", "false").strip() == "true"
    return "tk::FontDescription{%s, %s, %s}" % (cpp_string(family), size, "true" if bold else "false")


def props(element):
    return {p.get("name"): p for p in element.findall("property")}


def control(widget, parent):
    p = props(widget)
    rect = p["geometry"].find("rect") if "geometry" in p else None
    geometry = [int(rect.findtext(k, "0")) for k in ("x", "y", "width", "height")] if rect is not None else [0, 0, 0, 0]
    text_prop = p.get("text") or p.get("title")
    text = text_prop.findtext("string", "") if text_prop is not None else ""
    items = [item.find("property/string").text or "" for item in widget.findall("item")]
    enabled = value_text(p["enabled"]) != "false" if "enabled" in p else True
    visible = value_text(p["visible"]) != "false" if "visible" in p else True
    others = sorted(
        (name, value_text(prop))
        for name, prop in p.items()
        if name not in ("geometry", "font", "text", "title", "enabled", "visible"))
    return (
        "        {%s, %s, %s, %d, %d, %d, %d, %s, %s, {%s}, %s, %s, {%s}},\n"
        % (cpp_string(widget.get("name")), cpp_string(widget.get("class")), cpp_string(parent),
           geometry[0], geometry[1], geometry[2], geometry[3], font_of(p.get("font")), cpp_string(text),
           ", ".join(cpp_string(i) for i in items), "true" if enabled else "false",
           "true" if visible else "false",
           ", ".join("{%s, %s}" % (cpp_string(k), cpp_string(v)) for k, v in others)))


def walk(widget, parent, out):
    for child in widget.findall("widget"):
        if child.get("class") in ("QMenuBar", "QMenu", "QStatusBar", "QToolBar"):
            continue
        out.append(control(child, parent))
        walk(child, child.get("name"), out)


def menu_items(menu, actions, menus, indent):
    lines = []
    for add in menu.findall("addaction"):
        name = add.get("name")
        if name in menus:
            sub = menus[name]
            title = props(sub).get("title")
            text = title.findtext("string", "") if title is not None else ""
            lines.append("%s{%s, %s, {\n%s%s}},\n" % (indent, cpp_string(name), cpp_string(text),
                                                       menu_items(sub, actions, menus, indent + "    "), indent))
        elif name == "separator":
            lines.append('%s{"", "-", {}},\n' % indent)
        else:
            action = actions[name]
            text_prop = props(action).get("text")
            text = text_prop.findtext("string", "") if text_prop is not None else ""
            lines.append("%s{%s, %s, {}},\n" % (indent, cpp_string(name), cpp_string(text)))
    return "".join(lines)


def main():
    source, output = sys.argv[1], sys.argv[2]
    root = ET.parse(source).getroot()
    form = root.find("widget")
    p = props(form)

    def number(name):
        return value_text(p[name]) if name in p else "0"

    def string(name):
        return cpp_string(value_text(p[name])) if name in p else '""'

    controls = []
    body = form.find("widget[@class='QWidget']") if form.get("class") == "QMainWindow" else form
    if body is not form:
        controls.append(control(body, ""))
        walk(body, body.get("name"), controls)
    else:
        walk(form, "", controls)

    actions = {a.get("name"): a for a in form.iter("action")}
    menus = {m.get("name"): m for m in form.iter("widget") if m.get("class") == "QMenu"}
    bar = form.find("widget[@class='QMenuBar']")
    menu = menu_items(bar, actions, menus, "        ") if bar is not None else ""
    tabs = [t.text for t in root.findall("tabstops/tabstop")]

    name = form.get("name")
    with open(output, "w", encoding="utf-8") as out:
        out.write("// Generated from %s; edit the form description, not this file.\n" % source.split("/")[-1])
        out.write('#pragma once\n\n#include "toolkit/FormDescription.h"\n\nnamespace forms {\n\n')
        out.write("inline const tk::FormDescription& %s()\n{\n" % name)
        out.write("    static const tk::FormDescription description{\n")
        out.write("        %s, %s, %s,\n" % (cpp_string(name), cpp_string(form.get("class")), string("windowTitle")))
        out.write("        %s, %s, %s, %s,\n" % (number("designLeft"), number("designTop"), number("clientWidth"),
                                                 number("clientHeight")))
        out.write("        %s, %s, %s,\n" % (string("borderStyle"), font_of(p.get("font")), string("activeControl")))
        out.write("        {\n%s        },\n" % "".join(controls))
        out.write("        %s,\n" % cpp_string(bar.get("name") if bar is not None else ""))
        out.write("        {\n%s        },\n" % menu)
        out.write("        {%s},\n" % ", ".join(cpp_string(t) for t in tabs))
        out.write("    };\n    return description;\n}\n\n} // namespace forms\n")


if __name__ == "__main__":
    main()
