# The project's commands: make test, make tree, make run.
NATIVE := build/native
WIN64  := build/win64
ASAN   := build/asan
TSAN   := build/tsan
FUZZ   := build/fuzz
FUZZ_SECONDS ?= 60
JOBS   ?= $(shell nproc)
export WINEPREFIX ?= $(CURDIR)/build/wine-prefix

.PHONY: all deps native win64 test tree run bench clean fuzz test-asan test-tsan

all: native win64

deps:
	@scripts/install-deps.sh

native: deps
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(NATIVE) -j $(JOBS)

win64: deps
	cmake -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WIN64) -j $(JOBS)

tree: native win64
	scripts/assemble-tree.sh $(NATIVE) dist/Portavane
	scripts/assemble-tree.sh $(WIN64) dist/Portavane-win64

# Every suite runs, even when an earlier one fails, so all counts show: both
# builds' suites, the sanitizer build's and a short run of each fuzz target.
test: tree
	@status=0; \
	scripts/run-tests.sh $(NATIVE) native || status=1; \
	scripts/wine-prefix.sh; \
	scripts/run-tests.sh $(WIN64) wine || status=1; \
	$(MAKE) --no-print-directory test-asan || status=1; \
	$(MAKE) --no-print-directory test-tsan || status=1; \
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=10 || status=1; \
	exit $$status

# The native suites built with AddressSanitizer and UndefinedBehaviorSanitizer,
# against a tree assembled from that build.
test-asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DPV_SANITIZE=address,undefined >/dev/null
	cmake --build $(ASAN) -j $(JOBS)
	scripts/assemble-tree.sh $(ASAN) $(ASAN)/Portavane
	PV_ASSEMBLED_TREE=$(CURDIR)/$(ASAN)/Portavane scripts/run-tests.sh $(ASAN) asan

# The HTTP and PHP suites (workers, the gateway, the module's pool of php-cgi
# processes) built with ThreadSanitizer; the first race fails the suite. The
# suite of the 5-second waits measures time, which the slowed build upsets.
test-tsan: deps
	cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=Debug -DPV_SANITIZE=thread >/dev/null
	cmake --build $(TSAN) -j $(JOBS)
	scripts/assemble-tree.sh $(TSAN) $(TSAN)/Portavane
	PV_ASSEMBLED_TREE=$(CURDIR)/$(TSAN)/Portavane TSAN_OPTIONS=halt_on_error=1 \
	  scripts/run-tests.sh $(TSAN) tsan '^(http_(mapping|answers|lifecycle|posix)|php_)'

# Each parser of outside input fuzzed for FUZZ_SECONDS with libFuzzer (clang).
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPV_FUZZ=ON \
	  -DPV_SANITIZE=fuzzer-no-link,address,undefined >/dev/null
	cmake --build $(FUZZ) --target fuzz_targets -j $(JOBS)
	scripts/run-fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

run: tree
	@if [ -x dist/Portavane/portavane ]; then exec dist/Portavane/portavane; \
	else echo "dist/Portavane assembled; the program is not built yet"; fi

bench: tree
	bench/static/run.sh

clean:
	rm -rf build dist
