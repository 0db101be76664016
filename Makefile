# Two commands do everything: `make run` and `make test`.
# Both install what is missing first (scripts/setup.sh), then build.

BUILD   ?= build
JOBS    ?= $(shell nproc)
# Expanded when a recipe runs, after setup: a fresh machine gets ninja from
# setup, and its first build must not pick another generator than later ones.
CMAKE_GEN = $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: run test bench package setup build-release build-test format clean

run: build-release
	$(BUILD)/release/app/qelvara

test: build-test
	cd $(BUILD)/test && ctest --output-on-failure -j $(JOBS)

bench: setup
	cmake -S . -B $(BUILD)/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQELVARA_TESTS=OFF
	cmake --build $(BUILD)/bench -j $(JOBS)
	scripts/run-benchmarks.sh $(BUILD)/bench

package: setup
	cmake -S . -B $(BUILD)/package $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	      -DQELVARA_TESTS=OFF -DQELVARA_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build $(BUILD)/package -j $(JOBS)
	cd $(BUILD)/package && cpack -G DEB

setup:
	@scripts/setup.sh

build-release: setup
	cmake -S . -B $(BUILD)/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQELVARA_TESTS=OFF -DQELVARA_BENCH=OFF
	cmake --build $(BUILD)/release -j $(JOBS)

build-test: setup
	cmake -S . -B $(BUILD)/test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQELVARA_SANITIZE=ON -DQELVARA_BENCH=OFF
	cmake --build $(BUILD)/test -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
