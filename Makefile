# Front door: configure once, build both trees, forward to ctest and the benchmarks.
#   make          build everything (native tools and tests, Windows programs and tests)
#   make test     build, then run every suite (native with the browser page, and Windows under Wine)
#   make tool     only the Linux tool and libyorvel (build/native), with only their packages
#   make bench    run the benchmarks
#   make web      the browser page, in build/web (make web-shots: its test screenshots into docs/)
# Personal knobs (JOBS=..., CMAKE_FLAGS=...) go into local.mk.
-include local.mk

JOBS ?= $(shell nproc)
NATIVE := build/native
WIN64 := build/win64
ASAN := build/asan
FUZZ := build/fuzz
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(patsubst fuzz/%.cpp,%,$(wildcard fuzz/fuzz_*.cpp))

.PHONY: all deps tool native win64 test test-native test-win64 bench demo asan fuzz package samples format format-check clean distclean install uninstall

all: native win64

deps:
	@scripts/install-deps.sh

$(NATIVE)/CMakeCache.txt: | deps
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

$(WIN64)/CMakeCache.txt: | deps
	cmake -S . -B $(WIN64) -DCMAKE_BUILD_TYPE=Release \
	      -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-mingw64.cmake $(CMAKE_FLAGS)

# A tree configured by make tool builds the tests again from here on.
native: $(NATIVE)/CMakeCache.txt
	@! grep -q '^YORVEL_TOOL_ONLY:BOOL=ON' $(NATIVE)/CMakeCache.txt || cmake -S . -B $(NATIVE) -DYORVEL_TOOL_ONLY=OFF
	cmake --build $(NATIVE) -j $(JOBS)

# The tool (build/native/yorvel) and the library alone: no tests, no Wine, MinGW or Chromium.
tool:
	@scripts/install-deps.sh --tool
	@[ -f $(NATIVE)/CMakeCache.txt ] || cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release -DYORVEL_TOOL_ONLY=ON $(CMAKE_FLAGS)
	cmake --build $(NATIVE) -j $(JOBS) --target yorvel yorvel_static yorvel_shared

win64: $(WIN64)/CMakeCache.txt
	cmake --build $(WIN64) -j $(JOBS)

test: all web web-test-deps
	@scripts/run-tests.sh

test-native: native
	cd $(NATIVE) && ctest -j $(JOBS) --output-on-failure

test-win64: win64
	cd $(WIN64) && ctest -j $(JOBS) --output-on-failure

bench: native
	@for b in $(NATIVE)/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done
	@bench/yorvel_convert.sh $(NATIVE)/yorvel
	@if command -v node >/dev/null; then node bench/web_decode.mjs .; else echo "web_decode: skipped, node is not installed"; fi

# The native unit tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
asan: | deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYORVEL_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest -j $(JOBS) --output-on-failure

# libFuzzer targets (clang, ASan + UBSan), each run for FUZZ_SECONDS.
fuzz: | deps
	cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DYORVEL_FUZZ=ON \
	      -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" $(CMAKE_FLAGS)
	cmake --build $(FUZZ) -j $(JOBS) --target $(FUZZ_TARGETS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/run-fuzz.sh

# The three programs on the samples: on $$DISPLAY, or as screenshots in build/demo.
demo: all
	@scripts/demo.sh

# Writes samples/ anew from tools/make_samples.cpp (the same bytes every time).
samples: native
	$(NATIVE)/make_samples samples

# The release zip: build/win64/package/YorvelViewers-<version>-win64.zip
package: win64
	cd $(WIN64) && cpack -G ZIP
	@ls $(WIN64)/package/*.zip

CXX_SOURCES = $$(git ls-files '*.cpp' '*.h')

format: | deps
	clang-format -i $(CXX_SOURCES)

# Fails, naming the files, when a tracked C++ file is not as make format leaves it.
format-check: | deps
	clang-format --dry-run -Werror $(CXX_SOURCES)

# make install [PREFIX=/usr/local] [DESTDIR=...]: the tool, the programs, libyorvel, the desktop files.
# The paths reach the shell through the environment, never through the command text, so
# any character in them stays as it is (a $ is written $$ on make's command line).
PREFIX ?= /usr/local
export PREFIX DESTDIR
install: all
	cmake --install $(NATIVE) --prefix "$$PREFIX"

# Removes every file the last make install wrote, then the folders it made, when empty.
uninstall:
	@scripts/uninstall.sh $(NATIVE)/install_manifest.txt

clean:
	-cmake --build $(NATIVE) --target clean
	-cmake --build $(WIN64) --target clean

distclean:
	rm -rf build

# make web: the browser page (web/web.mk).
include web/web.mk
