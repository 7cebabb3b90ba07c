# The front door: `make run` and `make test` do all set-up on a fresh Debian 12 machine.
BUILD_DIR   ?= build
ASAN_DIR    ?= build-asan
BENCH_DIR   ?= build-bench
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

DEB_PACKAGES := cmake ninja-build g++ make qt6-base-dev libjpeg62-turbo-dev libgtest-dev \
	libbenchmark-dev clang-format xvfb xauth xdotool x11-utils x11-xserver-utils imagemagick poppler-utils \
	fonts-dejavu-core fonts-liberation dpkg-dev qt6-translations-l10n locales \
	tesseract-ocr tesseract-ocr-deu \
	clang-14 libclang-rt-14-dev llvm-14 libcli11-dev libpng-dev lintian \
	libmpfr-dev libgmp-dev ffmpeg parallel slurm-wlm munge

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all deps configure build run run-fraktal test asan asan-random bench fuzz install package screenshots format format-check clean

all: build

deps:
	@./scripts/ensure-deps.sh $(DEB_PACKAGES)
	@./scripts/ensure-locale.sh de_DE.UTF-8

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/zelvor

run-fraktal: build
	$(BUILD_DIR)/bin/fraktal

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1

$(ASAN_DIR)/build.ninja: | deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFRACTALS_SANITIZE=ON $(CMAKE_FLAGS)

asan: deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS) --timeout 1200

# The random-input runs and the regression cases of both windows under the sanitizers: what CI
# adds to `make test`. FRACTALS_RANDOM_SEED and FRACTALS_RANDOM_EVENTS vary the runs.
asan-random: deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS) --target explorer_tests lsystem_tests
	QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 $(SANITIZER_ENV) \
		$(ASAN_DIR)/bin/explorer_tests --gtest_brief=1 --gtest_filter='Random*:*Regression*'
	QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 $(SANITIZER_ENV) \
		$(ASAN_DIR)/bin/lsystem_tests --gtest_brief=1 --gtest_filter='Random*:*Regression*'

bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DFRACTALS_TESTS=OFF -DFRACTALS_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BENCH_DIR) -j $(JOBS)
	@for b in $(BENCH_DIR)/bin/bench_*; do echo "== $$b"; $$b || exit 1; done

# Each fuzz target for a minute; fails on any crash, leak or timeout.
fuzz: deps
	./scripts/fuzz.sh 60

# PREFIX=/usr/local by default; DESTDIR is honoured for staged installs.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

package: build
	cd $(BUILD_DIR) && cpack -G DEB

# The README's pictures, taken by the end-to-end tests.
screenshots: build
	cd $(BUILD_DIR) && E2E_SHOTS=$(CURDIR)/docs ctest -R e2e --output-on-failure

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	clang-format --dry-run --Werror $(FORMAT_FILES)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(BENCH_DIR)
