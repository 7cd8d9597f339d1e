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
# The package's manual pages and its checks.
PACKAGE_PACKAGES := help2man lintian desktop-file-utils appstream dpkg-dev file
WINDOWS_PACKAGES := g++-mingw-w64-x86-64 libtinyxml-dev libasio-dev libgit2-dev
# The Windows programs run: Wine, GoogleTest's source (built with the cross compiler), the
# header-only Asio lent to it, dpkg-dev to unpack TinyXML's Debian source package.
WINDOWS_TEST_PACKAGES := g++-mingw-w64-x86-64 wine64 googletest libasio-dev dpkg-dev
BUILD_WINTEST ?= build-windows-test
# The posix thread model: the layers use std::thread and std::mutex.
WINDOWS_CXX   ?= x86_64-w64-mingw32-g++-posix
# The tests that run under ThreadSanitizer, by ctest name: the link's and the device layer's.
TSAN_TESTS    ?= ^(link|device)\.

.PHONY: all deps fuzz-deps build test sanitize tsan windows-check windows-test portable-check package package-try \
        fuzz bench run clean format-check tidy prometheus-deps prometheus-check

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

# The presets (CMakePresets.json) are also what a Windows build starts from (README).
$(BUILD)/build.ninja:
	cmake --preset linux -B $(BUILD)

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
# /usr/include is the build machine's and stays out. Asio is configured as CMakeLists.txt
# configures it for MinGW (one kind of handler memory, one kind of thread in every source).
WINDOWS_GLOBS := settings/*.cpp link/*.cpp device/*.cpp sim/*.cpp sheet/CommitRules*.cpp sheet/SheetLayout*.cpp \
                 sheet/Presets*.cpp sheet/RecordComparison*.cpp \
                 history/*.cpp cli/*.cpp
WINDOWS_FLAGS := -std=c++17 -Wall -Wextra -Werror -DTIXML_USE_STL -DASIO_STANDALONE -DASIO_NO_DEPRECATED -DASIO_DISABLE_STD_ALIGNED_ALLOC -DASIO_HAS_PTHREADS=1 \
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

# The GUI-free layers, the command-line tool, the stand-in and their tests built for
# Windows and run under Wine: Winsock's differences show at run time, not at compile time.
# TinyXML is built from Debian's source package, fetched with a private apt state in the
# build folder from the machine's own Debian sources (its apt configuration is left alone);
# GoogleTest from Debian's googletest source, both with the cross compiler. Each test
# program runs whole under Wine, one at a time, and once more if it failed: Wine's sockets
# go through its server, and on a busy machine that can outlast the tests' short waits.
# Then korvane-cli.exe reads ten Linux stand-ins in both wait modes, and what it prints and
# writes must equal the Linux korvane-cli's byte for byte.
WINTEST_APT := $(CURDIR)/$(BUILD_WINTEST)/apt
WINTEST_APT_OPTS := -q -o Dir::Etc::SourceList=$(WINTEST_APT)/sources.list \
  -o Dir::Etc::SourceParts=$(WINTEST_APT)/sources.list.d -o Dir::State::Lists=$(WINTEST_APT)/lists \
  -o Dir::Cache=$(WINTEST_APT)/cache -o APT::Sandbox::User=root
WINE ?= $(shell command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
WINESERVER ?= $(shell command -v wineserver || echo /usr/lib/wine/wineserver64)
WINE_ENV := WINEPREFIX=$(CURDIR)/$(BUILD_WINTEST)/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

$(BUILD_WINTEST)/tinyxml/tinyxml.cpp:
	@set -e; mkdir -p $(WINTEST_APT)/lists/partial $(WINTEST_APT)/cache/archives/partial \
	  $(WINTEST_APT)/sources.list.d $(BUILD_WINTEST)/tinyxml-src; \
	sed -n 's|^deb \(.*/debian.*\)|deb-src \1|p' /etc/apt/sources.list 2>/dev/null > $(WINTEST_APT)/sources.list || true; \
	for f in /etc/apt/sources.list.d/*.sources; do \
	  grep -qE '^URIs:.*/debian' $$f 2>/dev/null && \
	    sed 's/^Types: .*/Types: deb-src/' $$f > $(WINTEST_APT)/sources.list.d/$$(basename $$f); \
	done; \
	apt-get $(WINTEST_APT_OPTS) update; \
	cd $(BUILD_WINTEST)/tinyxml-src && apt-get $(WINTEST_APT_OPTS) source tinyxml; \
	rm -rf ../tinyxml && mv tinyxml-*/ ../tinyxml

$(BUILD_WINTEST)/lent/asio.hpp:
	mkdir -p $(BUILD_WINTEST)/lent
	ln -sfn /usr/include/asio.hpp $(BUILD_WINTEST)/lent/asio.hpp
	ln -sfn /usr/include/asio $(BUILD_WINTEST)/lent/asio

windows-test: deps $(BUILD)/build.ninja
	$(call install_missing,$(WINDOWS_TEST_PACKAGES))
	$(MAKE) $(BUILD_WINTEST)/tinyxml/tinyxml.cpp $(BUILD_WINTEST)/lent/asio.hpp
	cmake --preset windows-cross -B $(BUILD_WINTEST) \
	  -DKORVANE_TINYXML_SOURCE=$(CURDIR)/$(BUILD_WINTEST)/tinyxml -DASIO_INCLUDE_DIR=$(CURDIR)/$(BUILD_WINTEST)/lent
	cmake --build $(BUILD_WINTEST) -j $(JOBS)
	$(WINE_ENV) $(WINESERVER) -k >/dev/null 2>&1 || true
	$(WINE_ENV) $(WINE) wineboot --init >/dev/null 2>&1 || true
	# One wine server for every test program, kept until they are done: left to itself it
	# ends with each program, and the next one may meet it on its way out ("recvmsg:
	# Connection reset by peer"). Wine's own services start with it here, not in a test
	# program, whose output pipes they would hold open for as long as the server lives.
	$(WINE_ENV) $(WINESERVER) -w
	$(WINE_ENV) $(WINESERVER) -p
	$(WINE_ENV) $(WINE) wineboot </dev/null >/dev/null 2>&1 || true
	# A test program stuck under Wine is stopped at its time limit (tests/CMakeLists.txt:
	# five minutes, where the slowest passes in about one) and run again.
	cd $(BUILD_WINTEST) && $(WINE_ENV) ctest --output-on-failure --repeat until-pass:3; \
	  status=$$?; $(WINE_ENV) $(WINESERVER) -k >/dev/null 2>&1; exit $$status
	cmake --build $(BUILD) -j $(JOBS) --target korvane-cli korvane-sim
	$(WINE_ENV) tests/windows/compare-cli.sh $(BUILD) $(BUILD_WINTEST)

# No Linux-only call in the window's layers, which Windows builds with Qt's own kits.
portable-check:
	tests/windows/check-portable.sh

# The Debian package of the window, korvane-cli and korvane-sim (CPack, build/package/),
# checked as a distribution would: lintian with no error, the desktop entry and the
# AppStream metadata validated. It reuses the normal build folder.
package: deps
	$(call install_missing,$(PACKAGE_PACKAGES))
	cmake --preset linux -B $(BUILD) -DKORVANE_PACKAGE=ON
	cmake --build $(BUILD) -j $(JOBS)
	rm -rf $(BUILD)/package
	cd $(BUILD) && cpack -G DEB
	desktop-file-validate packaging/org.korvane.korvane.desktop
	appstreamcli validate --no-net --pedantic $(BUILD)/packaging/org.korvane.korvane.metainfo.xml
	lintian --fail-on error --tag-display-limit 0 $(BUILD)/package/korvane_*.deb
	@echo "package: $$(ls $(BUILD)/package/korvane_*.deb)"

# Installs the package on this machine (root, or sudo), runs the installed programs and
# removes it again.
package-try: package
	packaging/try-package.sh $(BUILD)/package/korvane_*.deb

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
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ) $(BUILD_TSAN) $(BUILD_WIN) $(BUILD_WINTEST) fuzz/corpus-work
