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

.PHONY: demo test test-asan bench install cpp-test python-test venv system-deps clean

demo: install
	$(PY) examples/quickstart.py

test: install cpp-test python-test

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

python-test: install
	$(PY) -m pytest -q

cpp-test: venv system-deps
	$(CMAKE) -S . -B build/cpp $(CMAKE_FLAGS) -DVOREL_BUILD_EXTENSION=OFF -DVOREL_BUILD_TESTS=ON >/dev/null
	$(CMAKE) --build build/cpp
	$(VENV)/bin/ctest --test-dir build/cpp --output-on-failure

# Both suites against an AddressSanitizer + UndefinedBehaviorSanitizer build.
# The interpreter is not instrumented, so the sanitizer runtime is preloaded and
# leak detection stays off (the interpreter keeps its memory until exit).
test-asan: venv system-deps
	$(CMAKE) -S . -B build/asan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVOREL_SANITIZE=ON -DVOREL_BUILD_TESTS=ON >/dev/null
	$(CMAKE) --build build/asan
	$(VENV)/bin/ctest --test-dir build/asan --output-on-failure
	LD_PRELOAD="$(ASAN_PRELOAD)" ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  PYTHONPATH=$(abspath build/asan) VOREL_EXPECT_EXTENSION=$(abspath build/asan) \
	  $(PY) -m pytest -q -p no:cacheprovider

# Engine timings (a benchmark, not a test).
bench: venv
	$(CMAKE) -S . -B build/bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DVOREL_BUILD_EXTENSION=OFF \
	  -DVOREL_BUILD_BENCH=ON >/dev/null
	$(CMAKE) --build build/bench --target vorel_engine_bench
	build/bench/vorel_engine_bench

clean:
	rm -rf build $(VENV)
