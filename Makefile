# Two commands do everything: `make run` and `make test`.
# Each installs what its job needs first (scripts/setup.sh), then builds. The
# build settings live in CMakePresets.json; each target here names its preset,
# whose build directory is build/<preset>.

JOBS ?= $(shell nproc)
# The Debian releases the package is built and tested for.
RELEASES ?= bookworm trixie

.PHONY: run test bench windows check-windows package check-package build-release build-test format clean

run: build-release
	build/release/app/qelvara

test: build-test
	ctest --preset test -j $(JOBS)

bench:
	@scripts/setup.sh test
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	scripts/run-benchmarks.sh build/bench
	@# The Windows program's figures, under Wine, where the cross tools and Wine are.
	@if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then \
	    cmake --preset windows-bench && cmake --build --preset windows-bench -j $(JOBS) && \
	    scripts/measure-wine.sh build/windows-bench; fi

# qelvara.exe for 64-bit and 32-bit Windows, with Debian's MinGW-w64, and for
# each its installer and portable zip: build/windows/dist/.
windows:
	@scripts/setup.sh windows
	cmake --preset windows-x64
	cmake --build --preset windows-x64 -j $(JOBS)
	cmake --preset windows-x86
	cmake --build --preset windows-x86 -j $(JOBS)
	scripts/windows-dist.sh build/windows-x64 build/windows-x86

# Beyond make test: two builds from nothing compared byte for byte
# (reprotest), and the 32-bit program and installer under Wine's 32-bit half
# in a throwaway root with i386 (mmdebstrap), never on this machine.
check-windows: windows
	@scripts/setup.sh windows-check
	scripts/windows-repro.sh
	scripts/windows-x86-check.sh

# The .deb, built from the committed tree in a clean root of this machine's
# release (or of those named: make package RELEASES=unstable), with the engine
# and window tests and lintian: build/debian/RELEASE/.
package:
	@scripts/setup.sh package
	scripts/package.sh $(if $(filter command line,$(origin RELEASES)),$(RELEASES))

# For every release: the package, blhc, autopkgtest in a throwaway testbed
# (the installed program on the end-to-end routes too), piuparts, and a
# second build compared byte for byte with the first.
check-package:
	@scripts/setup.sh package
	scripts/package.sh --check $(RELEASES)

build-release:
	@scripts/setup.sh run
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

build-test:
	@scripts/setup.sh test
	cmake --preset test
	cmake --build --preset test -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
