# Front door. `make test` and `make demo` are the two commands the README promises.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

ifeq ($(SANITIZE),1)
  BUILD ?= build-asan
  CMAKE_FLAGS += -DQUORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_BENCH=OFF
else ifeq ($(TSAN),1)
  BUILD ?= build-tsan
  CMAKE_FLAGS += -DQUORVEL_TSAN=ON -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_BENCH=OFF
else
  BUILD ?= build
endif
BENCH_BUILD ?= build-bench
COVERAGE_BUILD ?= build-coverage
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
CTEST_ARGS ?=

FORMAT_FILES = git ls-files --cached --others --exclude-standard -- '*.cpp' '*.hpp' '*.h' '*.cc'

PACKAGE_BUILD ?= build-package

.PHONY: all deps configure build test coverage bench fuzz format format-check demo package clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 600 $(CTEST_ARGS)

# Line and branch coverage of core/, app/ and cli/ over the whole suite (fuzz replays included).
coverage: deps
	@cmake -S . -B $(COVERAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_COVERAGE=ON -DQUORVEL_BENCH=OFF >/dev/null
	@cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	@find $(COVERAGE_BUILD) -name '*.gcda' -delete
	@cd $(COVERAGE_BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 900 $(CTEST_ARGS)
	@bash scripts/coverage.sh $(COVERAGE_BUILD)

bench: deps
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target run-benchmarks

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUORVEL_FUZZ=ON -DQUORVEL_SANITIZE=ON -DQUORVEL_BENCH=OFF -DQUORVEL_APP=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target all-fuzzers
	@bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The sample service and the app against it (the terminal walk-through without a display).
demo: build
	@bash scripts/demo.sh $(BUILD)

# A .deb of the app, quorvel-cli and the search provider, installing under /usr.
package: deps
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DQUORVEL_BENCH=OFF -DQUORVEL_DEV_BASE_URL_OVERRIDE=OFF >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target quorvel quorvel-cli quorvel-icons quorvel-search-provider \
	  quorvel-docs
	@cd $(PACKAGE_BUILD) && cpack -G DEB
	@ls $(PACKAGE_BUILD)/*.deb

format:
	@$(FORMAT_FILES) | xargs -r clang-format -i

format-check:
	@$(FORMAT_FILES) | xargs -r clang-format --dry-run --Werror

clean:
	rm -rf build build-asan build-tsan $(COVERAGE_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)
