# Two commands do everything: `make run` and `make test`.
# Both install what is missing first (scripts/setup.sh), then build. The build
# settings live in CMakePresets.json; each target here names its preset, whose
# build directory is build/<preset>.

JOBS ?= $(shell nproc)
# `make package MAINTAINER="Name <mail>"` names who answers for the package.
PACKAGE_FLAGS := $(if $(MAINTAINER),-DQELVARA_MAINTAINER="$(MAINTAINER)")

.PHONY: run test bench package check-package setup build-release build-test format clean

run: build-release
	build/release/app/qelvara

test: build-test
	ctest --preset test -j $(JOBS)

bench: setup
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	scripts/run-benchmarks.sh build/bench

package: setup
	cmake --preset package $(PACKAGE_FLAGS)
	cmake --build --preset package -j $(JOBS)
	cpack --preset package

# Lintian, then the package installed with apt, started and removed again.
check-package: package
	scripts/check-package.sh build/package

setup:
	@scripts/setup.sh

build-release: setup
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

build-test: setup
	cmake --preset test
	cmake --build --preset test -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
