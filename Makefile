# The project's commands: make test, make tree, make run.
NATIVE := build/native
WIN64  := build/win64
JOBS   ?= $(shell nproc)
export WINEPREFIX ?= $(CURDIR)/build/wine-prefix

.PHONY: all deps native win64 test tree run bench clean

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

# Both builds' suites run, even when the first fails, so both counts show.
test: tree
	@status=0; \
	scripts/run-tests.sh $(NATIVE) native || status=1; \
	scripts/wine-prefix.sh; \
	scripts/run-tests.sh $(WIN64) wine || status=1; \
	exit $$status

run: tree
	@if [ -x dist/Portavane/portavane ]; then exec dist/Portavane/portavane; \
	else echo "dist/Portavane assembled; the program is not built yet"; fi

bench: tree
	bench/static/run.sh

clean:
	rm -rf build dist
