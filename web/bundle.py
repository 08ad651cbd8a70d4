#!/usr/bin/env python3
"""Makes the single-file page: index.html with its stylesheet, its modules, the worker
and the WebAssembly module inlined, so that it opens from file:// and can be mailed.

    bundle.py WEBDIR MODULE.wasm OUT.html

Each module becomes a function that returns what it exports, called in dependency order
inside one module script; its imports become reads of those results. The worker goes in
as text (the page starts it from a blob) and the module as base64.
"""
import base64
import re
import sys

IMPORT = re.compile(r"^import\s*\{([^}]*)\}\s*from\s*'\./([\w.]+)\.js';\s*$", re.M)
EXPORT = re.compile(r"^export\s+(?:async\s+)?(function|class|const|let)\s+(.*)$", re.M)


def exported_names(source):
    names = []
    for kind, rest in EXPORT.findall(source):
        if kind in ("function", "class"):
            names.append(re.match(r"\w+", rest).group(0))
        else:  # const a = 1, b = 2;
            names += re.findall(r"(?:^|,)\s*(\w+)\s*=", rest)
    return names


def bundle(folder, entry):
    order, seen = [], set()

    def visit(name):
        if name in seen:
            return
        seen.add(name)
        source = open(f"{folder}/{name}.js", encoding="utf-8").read()
        for _, dep in IMPORT.findall(source):
            visit(dep)
        order.append((name, source))

    visit(entry)
    parts = []
    for name, source in order:
        exports = exported_names(source)
        body = IMPORT.sub(lambda m: f"const {{{m.group(1)}}} = module_{m.group(2)};", source)
        body = re.sub(r"^export\s+", "", body, flags=re.M)
        parts.append(f"const module_{name} = (() => {{\n{body}\nreturn {{{', '.join(exports)}}};\n}})();\n")
    return "".join(parts)


def main():
    folder, wasm, out = sys.argv[1:4]
    page = open(f"{folder}/index.html", encoding="utf-8").read()
    css = open(f"{folder}/yorvel.css", encoding="utf-8").read()
    worker = open(f"{folder}/worker.js", encoding="utf-8").read()
    code = bundle(folder, "main")
    for text in (code, worker, css):
        assert "</script" not in text and "</style" not in text
    module = base64.b64encode(open(wasm, "rb").read()).decode("ascii")
    page = page.replace('<link rel="stylesheet" href="yorvel.css">', f"<style>\n{css}</style>")
    page = page.replace(
        '<script type="module" src="main.js"></script>',
        f'<script type="application/wasm;base64" id="yorvel-wasm">{module}</script>\n'
        f'<script type="text/plain" id="yorvel-worker">\n{worker}</script>\n'
        f'<script type="module">\n{code}</script>')
    with open(out, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()
