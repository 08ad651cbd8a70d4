# make web: the browser page in build/web/ (index.html, its modules and stylesheet, the
# cores as yorvel.wasm), and build/web/yorvel.html, the same page as one file with
# everything inlined, which opens from file:// too. Included by the top Makefile.
#
# The module is built by clang for wasm32-wasi against Debian's wasi-libc and libc++
# (scripts/install-deps.sh installs them): no JavaScript glue, no system calls used.
WEB := build/web
WASM_CXX ?= clang++-16
WASM_CXXFLAGS := --target=wasm32-wasi -nostdinc++ -isystem /usr/include/wasm32-wasi/c++/v1 -std=c++20 \
    -O2 -msimd128 -fno-exceptions -flto -Wall -Wextra -Wshadow \
    -Iyif_reader -Iydf_reader -Iyaf_player
# The page gives the module its memory (16 pages to start, web/core.js) and so decides
# how far it may grow.
WASM_LDFLAGS := -nostartfiles -Wl,--no-entry -Wl,--strip-debug -Wl,--import-memory \
    -Wl,--initial-memory=1048576 -Wl,--max-memory=4294967296
WASM_SOURCES := web/yorvel_wasm.cpp yif_reader/yif_image.cpp ydf_reader/ydf_document.cpp \
    ydf_reader/ydf_export.cpp yaf_player/yaf_sound.cpp
WASM_HEADERS := yif_reader/yif_image.h ydf_reader/ydf_document.h ydf_reader/ydf_export.h yaf_player/yaf_sound.h
WEB_FILES := index.html yorvel.css main.js core.js canvas.js image.js doc.js sound.js worker.js

.PHONY: web
web: $(WEB)/yorvel.wasm $(addprefix $(WEB)/,$(WEB_FILES)) $(WEB)/yorvel.html

$(WEB)/yorvel.wasm: $(WASM_SOURCES) $(WASM_HEADERS) web/web.mk | deps
	@mkdir -p $(WEB)
	$(WASM_CXX) $(WASM_CXXFLAGS) $(WASM_LDFLAGS) -o $@.tmp-$$$$ $(WASM_SOURCES) && mv $@.tmp-$$$$ $@

$(WEB)/%: web/%
	@mkdir -p $(WEB)
	cp $< $@

$(WEB)/yorvel.html: web/bundle.py $(WEB)/yorvel.wasm $(addprefix web/,$(WEB_FILES))
	python3 web/bundle.py web $(WEB)/yorvel.wasm $@

# playwright-core for the page's tests (tests/web), pinned by its lockfile, into the
# build tree, npm's cache there too; without npm, or when the registry cannot be reached,
# the tests say they are skipped.
WEB_TEST := build/web-test
.PHONY: web-test-deps
web-test-deps: $(WEB_TEST)/node_modules/.package-lock.json

$(WEB_TEST)/node_modules/.package-lock.json: tests/web/package.json tests/web/package-lock.json
	@mkdir -p $(WEB_TEST)
	cp tests/web/package.json tests/web/package-lock.json $(WEB_TEST)/
	@if ! command -v npm >/dev/null; then echo "web-test-deps: npm is missing, the browser tests will be skipped"; \
	elif ! (cd $(WEB_TEST) && npm ci --no-audit --no-fund --loglevel=error --cache "$(CURDIR)/$(WEB_TEST)/npm-cache"); then \
	    rm -rf $(WEB_TEST)/node_modules; \
	    echo "web-test-deps: npm could not install playwright-core (above), the browser tests will be skipped"; fi

# The README's pictures of the page (docs/web-*.png) from the browser tests' last run,
# which says when they differ from what the page shows.
.PHONY: web-shots
web-shots:
	@ls $(WEB_TEST)/shots/web-*.png >/dev/null 2>&1 || { echo "web-shots: no screenshots yet (cd build/native && ctest -R web)"; exit 1; }
	cp $(WEB_TEST)/shots/web-*.png docs/
