# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program, cross-built on Debian (included by the Makefile):
#   make windows           $(WINDOWS_BUILD)/touchdrill.exe: one self-contained executable
#   make windows-test      its unit and window tests under Wine, and an end-to-end run under Wine
#                          and Xvfb
#   make windows-dist      the portable zip with its .sha256, and the NSIS installer
# Qt for Windows comes from TOUCHDRILL_QT_WINDOWS, the cache folder, or ../shared/windows/
# unpacked into the cache; else it is built once from Debian's sources (tools/windows/prepare.sh).
WINDOWS_BUILD ?= build-windows
WINDOWS_CMAKE_FLAGS ?=
# Wine keeps its own Windows in a folder of the cache, made on the first run.
export WINEPREFIX ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/touchdrill/wine
export WINEDEBUG ?= -all
# No Mono or Gecko installer prompts when Wine makes that folder.
export WINEDLLOVERRIDES ?= mscoree,mshtml=

.PHONY: windows-configure windows windows-test windows-dist windows-test-if-qt

# ccache, where there is one, keeps a second build of the same sources to a few seconds.
WINDOWS_LAUNCHER = $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

windows-configure:
	@./tools/install-deps.sh --windows
	@prefix="$$(./tools/windows/prepare.sh)" && \
	  cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/windows/mingw-w64-x86_64.cmake $(WINDOWS_LAUNCHER) \
	    -DCMAKE_PREFIX_PATH="$$prefix" -DQT_HOST_PATH=/usr \
	    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
	    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON $(WINDOWS_CMAKE_FLAGS) >/dev/null

windows: windows-configure
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target touchdrill
	@echo "make windows: $(WINDOWS_BUILD)/touchdrill.exe"

windows-test: windows
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target touchdrill_windows_tests
	@# Wine's Windows for the unit tests and the end-to-end run's own, made before the clock runs.
	@# wineboot leaves its prefix's wineserver and services running for a minute and more without a
	@# display; a program started meanwhile joins them and its window never reaches the test's X
	@# server. Each prefix's session is shut down and its server waited for.
	@for prefix in "$${WINEPREFIX:-$$HOME/.wine}" "$(or $(XDG_CACHE_HOME),$(HOME)/.cache)/touchdrill/wine-e2e"; do \
	  WINEPREFIX="$$prefix" wineboot -i >/dev/null 2>&1; \
	  WINEPREFIX="$$prefix" wineboot -s >/dev/null 2>&1; \
	  WINEPREFIX="$$prefix" wineserver -w >/dev/null 2>&1; \
	done; true
	cd $(WINDOWS_BUILD) && ctest --output-on-failure -j $(JOBS)

windows-dist: windows
	@cmake --build $(WINDOWS_BUILD) --target touchdrill_windows_dist

# What make test runs: the Windows tests when a Qt for Windows is at hand, else a plain note.
windows-test-if-qt:
	@if ./tools/windows/prepare.sh --check >/dev/null; then \
	  $(MAKE) windows-test; \
	else \
	  echo "make test: SKIPPED the Windows tests (make windows-test): no Qt for Windows at hand" \
	       "(TOUCHDRILL_QT_WINDOWS, ~/.cache/touchdrill/qt6-win or ../shared/windows/);" \
	       "tools/build-qt-windows.sh builds one from Debian's sources."; \
	fi
