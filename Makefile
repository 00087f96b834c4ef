# The project's commands: make test, make tree, make run.
NATIVE := build/native
WIN64  := build/win64
JOBS   ?= $(shell nproc)
export WINEPREFIX ?= $(CURDIR)/build/wine-prefix

.PHONY: all deps native win64 test test-native test-win64 tree run bench clean

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

test: tree
	scripts/run-tests.sh $(NATIVE) native
	scripts/wine-prefix.sh
	scripts/run-tests.sh $(WIN64) wine

run: tree
	dist/Portavane/portavane

bench: tree
	bench/static/run.sh

clean:
	rm -rf build dist
