# The two commands a newcomer needs: `make run` and `make test`.
# Everything else here serves them, CI, the sanitizer build, fuzzing and benchmarks.

BUILD      ?= build
BUILD_SAN  ?= build-sanitize
BUILD_FUZZ ?= build-fuzz
BUILD_TSAN ?= build-tsan
BUILD_WIN  ?= build-windows
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
TEST_TIMEOUT ?= 300

PACKAGES      := cmake ninja-build g++ pkg-config libtinyxml-dev libasio-dev libgtest-dev libgmock-dev \
                 libbenchmark-dev qt6-base-dev qt6-qpa-plugins libqt6sql6-sqlite libgit2-dev git libmicrohttpd-dev
# The real Prometheus server, for the monitor's scrape test (prometheus-check).
PROMETHEUS_PACKAGES := prometheus
FUZZ_PACKAGES := clang libclang-rt-14-dev libexpat1-dev
# WenQuanYi Micro Hei: a compact face with the Chinese glyphs of the encoders' GB2312 names.
RUN_PACKAGES  := fonts-dejavu-core fonts-wqy-microhei
STYLE_PACKAGES := clang-format-14 clang-tidy-14
WINDOWS_PACKAGES := g++-mingw-w64-x86-64 libtinyxml-dev libasio-dev libgit2-dev
# The posix thread model: the layers use std::thread and std::mutex.
WINDOWS_CXX   ?= x86_64-w64-mingw32-g++-posix
# The tests that run under ThreadSanitizer, by ctest name: the link's and the device layer's.
TSAN_TESTS    ?= ^(link|device)\.

.PHONY: all deps fuzz-deps build test sanitize tsan windows-check fuzz bench run clean format-check tidy \
        prometheus-deps prometheus-check

all: build

# Installs only what is missing; an empty package list on a fresh machine is
# refreshed once, right before the first install.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then sudo=""; \
	  elif command -v sudo >/dev/null 2>&1; then sudo="sudo"; \
	  else echo "Please install these Debian packages:$$missing"; exit 1; fi; \
	  echo "Installing:$$missing"; \
	  $$sudo apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -q --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout $(TEST_TIMEOUT) -j $(JOBS)

# The whole suite again, the Qt layers included (offscreen), with AddressSanitizer (leak
# detection on) and UndefinedBehaviorSanitizer; any finding stops the test that made it and
# so fails the run. tests/sanitizer/lsan.supp names the leaks of libraries outside the
# project that are let pass, each with its reason. The configure step runs every time, so
# that a sanitizer build made before the Qt layers joined it picks them up.
SANITIZE_ENV := QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

sanitize: deps
	cmake -S . -B $(BUILD_SAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DKORVANE_GUI=ON -DKORVANE_BENCH=OFF -DKORVANE_SANITIZE=ON
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && $(SANITIZE_ENV) ctest --output-on-failure --timeout $(TEST_TIMEOUT) -j $(JOBS)

# The threaded layers' tests again with ThreadSanitizer; any report stops the test that
# made it and so fails the run. setarch -R: the sanitizer's fixed memory layout does not
# survive the address randomisation of newer kernels.
$(BUILD_TSAN)/build.ninja:
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORVANE_GUI=OFF -DKORVANE_BENCH=OFF -DKORVANE_TSAN=ON

tsan: deps $(BUILD_TSAN)/build.ninja
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	cd $(BUILD_TSAN) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  setarch $$(uname -m) -R ctest --output-on-failure --timeout $(TEST_TIMEOUT) -j $(JOBS) -R '$(TSAN_TESTS)'

# Every GUI-free source compiled (not linked: Debian has no Windows TinyXML) for the
# operators' Windows desktops, warnings as errors. The globs pick up new sources and
# layers that land later. The headers of TinyXML, Asio (header-only), libgit2 and
# libmicrohttpd alone are lent to the cross compiler (all exist for Windows); the rest of
# /usr/include is the build machine's and stays out.
WINDOWS_GLOBS := settings/*.cpp link/*.cpp device/*.cpp sim/*.cpp sheet/CommitRules*.cpp sheet/SheetLayout*.cpp \
                 sheet/Presets*.cpp sheet/RecordComparison*.cpp \
                 history/*.cpp cli/*.cpp
WINDOWS_FLAGS := -std=c++17 -Wall -Wextra -Werror -DTIXML_USE_STL -DASIO_STANDALONE -DASIO_NO_DEPRECATED \
                 -D_WIN32_WINNT=0x0A00 -isystem $(BUILD_WIN)/include \
                 -Isettings -Ilink -Idevice -Isim -Isheet -Ihistory -Icli
windows-check:
	$(call install_missing,$(WINDOWS_PACKAGES))
	@set -e; mkdir -p $(BUILD_WIN)/include $(BUILD_WIN)/obj; \
	ln -sf /usr/include/tinyxml.h $(BUILD_WIN)/include/tinyxml.h; \
	ln -sfn /usr/include/asio $(BUILD_WIN)/include/asio; ln -sf /usr/include/asio.hpp $(BUILD_WIN)/include/asio.hpp; \
	ln -sfn /usr/include/git2.h $(BUILD_WIN)/include/git2.h; \
	ln -sfn /usr/include/git2 $(BUILD_WIN)/include/git2; \
	ln -sf /usr/include/microhttpd.h $(BUILD_WIN)/include/microhttpd.h; \
	count=0; for f in $(WINDOWS_GLOBS); do \
	  [ -f "$$f" ] || continue; \
	  echo "  $(WINDOWS_CXX) $$f"; \
	  $(WINDOWS_CXX) $(WINDOWS_FLAGS) -c $$f -o $(BUILD_WIN)/obj/$$(echo $$f | tr / _).o; \
	  count=$$((count + 1)); \
	done; \
	echo "windows-check: $$count sources compiled for Windows without a warning"

fuzz-deps:
	$(call install_missing,$(FUZZ_PACKAGES))

prometheus-deps:
	$(call install_missing,$(PROMETHEUS_PACKAGES))

# A real Prometheus server scrapes korvane-cli monitor's endpoint on loopback and answers
# a query for korvane_encoder_up. With the package installed the test must pass; only
# where the package cannot be installed is it skipped, saying so.
prometheus-check: build
	@if $(MAKE) --no-print-directory prometheus-deps; then \
	  cd $(BUILD) && KORVANE_PROMETHEUS=/usr/bin/prometheus \
	    ctest --output-on-failure --timeout $(TEST_TIMEOUT) -R '^cli\.Prometheus\.'; \
	else \
	  echo "prometheus-check: SKIPPED: the Debian package prometheus cannot be installed on this machine"; \
	fi

# The fuzz build is configured with clang and expat, so both are installed first.
$(BUILD_FUZZ)/build.ninja: | fuzz-deps
	CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORVANE_GUI=OFF -DKORVANE_BENCH=OFF -DKORVANE_FUZZ=ON

# Each fuzz target runs from its seed corpus (fuzz/corpus/<target>) into a scratch copy,
# so the kept seeds stay small.
fuzz: deps fuzz-deps $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	@set -e; for t in $$(cd fuzz/corpus && ls); do \
	  mkdir -p fuzz/corpus-work/$$t; \
	  echo "== fuzzing $$t for $(FUZZ_SECONDS) s"; \
	  $(BUILD_FUZZ)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    fuzz/corpus-work/$$t fuzz/corpus/$$t; \
	done

# The house style (.clang-format) over every tracked C++ file: changes nothing, names each
# file that differs and fails. `clang-format-14 -i $(git ls-files '*.cpp' '*.h')` applies it.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format-check:
	$(call install_missing,$(STYLE_PACKAGES))
	@clang-format-14 --dry-run --Werror $(FORMAT_FILES) && \
	  echo "format-check: $(words $(FORMAT_FILES)) files in the house style"

# The checks of .clang-tidy over the project's own sources as the build compiles them
# (compile_commands.json, generated moc code left out). Reports; fails only on a file
# that does not compile.
TIDY_SOURCES := '^$(CURDIR)/(settings|link|device|sheet|rowtree|app|cli|sim|tests|bench|fuzz)/.*\.cpp$$'

tidy: build
	$(call install_missing,$(STYLE_PACKAGES))
	run-clang-tidy-14 -p $(BUILD) -quiet -j $(JOBS) $(TIDY_SOURCES)

# Only the benchmark programs: the build folder also holds bench_*_autogen folders.
bench: build
	@set -e; for b in $(BUILD)/bench/bench_*; do \
	  if [ -f "$$b" ] && [ -x "$$b" ]; then echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b; fi; \
	done

# The stand-in encoder serves 127.0.0.1 on the real ports while the tool is open, and
# goes when the tool closes (or when make is interrupted).
run: build
	$(call install_missing,$(RUN_PACKAGES))
	@$(BUILD)/sim/korvane-sim & sim=$$!; \
	trap 'kill $$sim 2>/dev/null; wait $$sim 2>/dev/null' EXIT INT TERM; \
	sleep 0.3; kill -0 $$sim 2>/dev/null || { echo "korvane-sim did not start"; exit 1; }; \
	$(BUILD)/app/korvane

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ) $(BUILD_TSAN) $(BUILD_WIN) fuzz/corpus-work
