# Set-up, build and tests. `make demo` and `make test` work on a fresh machine.

PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
CMAKE := $(VENV)/bin/cmake
CMAKE_FLAGS := -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) -DPython_EXECUTABLE=$(abspath $(PY))
# libstdc++ is preloaded with the sanitizer runtime so that its exception
# interceptors find the real functions (the interpreter itself is C).
ASAN_PRELOAD = $(shell $(CXX) -print-file-name=libasan.so) $(shell $(CXX) -print-file-name=libstdc++.so)

.PHONY: demo test wheel sdist package-test test-asan fuzz memcheck bench bench-build bench-callgrind bench-accuracy install cpp-test python-test asan-build venv system-deps clean

demo: install
	$(PY) examples/quickstart.py

# Both suites on the release build, the packaging checks, then both suites again
# under the sanitizers.
test: install cpp-test python-test package-test test-asan

# Python environment with the build and test tools.
venv: $(VENV)/.ready
$(VENV)/.ready: requirements-dev.txt
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install --quiet --upgrade pip
	$(PY) -m pip install --quiet -r requirements-dev.txt
	touch $@

# GoogleTest from Debian's packages.
system-deps:
	@dpkg -s libgtest-dev >/dev/null 2>&1 || { \
	  $(SUDO) apt-get update -qq && $(SUDO) apt-get install -y -qq libgtest-dev >/dev/null; }

# Builds the abi3 wheel's extension with scikit-build-core and installs it
# into the environment (the build directory is kept, so rebuilds are incremental).
install: venv
	$(PY) -m pip install --quiet --no-build-isolation -C build-dir=build/wheel .

# The release wheel, built as a user builds it (an isolated environment from the
# project's build requirements), then tagged by auditwheel with the manylinux
# tag its symbols earn: $(DIST)/vorel-<version>-cp311-abi3-manylinux_2_YY_x86_64.whl.
DIST ?= dist
wheel: venv
	rm -rf $(DIST)/linux && mkdir -p $(DIST)/linux
	$(PY) -m pip wheel --quiet --no-deps --wheel-dir $(DIST)/linux .
	PATH="$(abspath $(VENV)/bin):$$PATH" $(VENV)/bin/auditwheel repair --wheel-dir $(DIST) $(DIST)/linux/vorel-*.whl
	rm -rf $(DIST)/linux

# The source distribution: $(DIST)/vorel-<version>.tar.gz.
sdist: venv
	$(PY) -m build --sdist --outdir $(DIST) .

python-test: install
	$(PY) -m pytest -q

# The installed type stub against the module, the examples type-checked with it,
# the wheel of `make wheel` and the sdist installed into fresh environments.
package-test: install
	$(PY) -m pytest -q -p no:cacheprovider tests/packaging

cpp-test: venv system-deps
	$(CMAKE) -S . -B build/cpp $(CMAKE_FLAGS) -DVOREL_BUILD_EXTENSION=OFF -DVOREL_BUILD_TESTS=ON >/dev/null
	$(CMAKE) --build build/cpp
	$(VENV)/bin/ctest --test-dir build/cpp --output-on-failure

# Both suites against an AddressSanitizer + UndefinedBehaviorSanitizer build,
# with leak detection. The interpreter is not instrumented, so the sanitizer
# runtime is preloaded; Python objects come from malloc so that the sanitizer
# scans them, and what the interpreter itself keeps at exit is suppressed
# (tests/lsan-python.supp); an allocation too large for memory fails as it does
# in a release build. The leak suite checks reference counts only, in fewer
# calls, as the sanitizer owns the allocator.
FUZZ_EXAMPLES ?= 3000
SANITIZED_PYTEST = LD_PRELOAD="$(ASAN_PRELOAD)" PYTHONMALLOC=malloc ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
	  LSAN_OPTIONS=suppressions=$(abspath tests/lsan-python.supp):print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 VOREL_SANITIZED=1 VOREL_LEAK_CALLS=200 \
	  PYTHONPATH=$(abspath build/asan) VOREL_EXPECT_EXTENSION=$(abspath build/asan/vorel) \
	  $(PY) -m pytest -q -p no:cacheprovider

asan-build: venv system-deps
	$(CMAKE) -S . -B build/asan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVOREL_SANITIZE=ON -DVOREL_BUILD_TESTS=ON >/dev/null
	$(CMAKE) --build build/asan

# The batch suite loads numpy, which keeps objects at exit that the leak checker
# would report against the process: it runs in a process of its own with the
# address and undefined-behaviour checks but without the leak check.
test-asan: asan-build
	$(VENV)/bin/ctest --test-dir build/asan --output-on-failure
	VOREL_FUZZ_EXAMPLES=60 $(SANITIZED_PYTEST) --ignore=tests/python/test_batch.py
	$(subst detect_leaks=1,detect_leaks=0,$(SANITIZED_PYTEST)) tests/python/test_batch.py

# A longer run of the hostile-argument suite under the sanitizers.
fuzz: asan-build
	VOREL_FUZZ_EXAMPLES=$(FUZZ_EXAMPLES) $(SANITIZED_PYTEST) tests/python/test_fuzz.py

# Every entry point and error path once under valgrind's memcheck, on the
# release extension; errors inside the interpreter's own start-up are suppressed.
memcheck: install
	@command -v valgrind >/dev/null || { $(SUDO) apt-get update -qq && $(SUDO) apt-get install -y -qq valgrind >/dev/null; }
	PYTHONMALLOC=malloc valgrind --quiet --error-exitcode=1 --suppressions=tests/valgrind-python.supp \
	  --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
	  $(PY) tests/python/smoke.py

# Per-call timings of the public surface against a release build that keeps its
# symbols (bench/results.json); bench-callgrind counts the engines' instructions.
BENCH_PY = PYTHONPATH=$(abspath build/bench) VOREL_EXPECT_EXTENSION=$(abspath build/bench/vorel) $(PY) bench/bench.py
bench-build: venv
	$(CMAKE) -S . -B build/bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(CMAKE) --build build/bench

bench: bench-build
	$(BENCH_PY) $(BENCH_ARGS)
	PYTHONPATH=$(abspath build/bench) VOREL_EXPECT_EXTENSION=$(abspath build/bench/vorel) $(PY) bench/batch_throughput.py
	PYTHONPATH=$(abspath build/bench) VOREL_EXPECT_EXTENSION=$(abspath build/bench/vorel) $(PY) bench/scale_out.py

# American prices across regimes against an independent tree (and QuantLib's
# engines when installed), per grid: bench/american_accuracy.py.
bench-accuracy: bench-build
	PYTHONPATH=$(abspath build/bench) VOREL_EXPECT_EXTENSION=$(abspath build/bench/vorel) $(PY) bench/american_accuracy.py $(BENCH_ARGS)

bench-callgrind: bench-build
	@command -v valgrind >/dev/null || { $(SUDO) apt-get update -qq && $(SUDO) apt-get install -y -qq valgrind >/dev/null; }
	$(BENCH_PY) --callgrind $(BENCH_ARGS)

clean:
	rm -rf build $(VENV)
