# SPDX-License-Identifier: GPL-3.0-or-later
# Shipping (included by the Makefile; BUILD is its build folder).
#   make dist               the portable archive, in $(BUILD)/
#   make dist-check         make dist, then unpack that archive elsewhere and run it under Xvfb
#   make deb                the Debian package touchdrill_<version>_<arch>.deb, in $(BUILD)/
#   make deb-check          make deb, then check that package: contents, lintian, a run by an
#                           ordinary user under Xvfb (unpacked with dpkg-deb -x, never installed)
#   make install-desktop    menu entry and icons for the current user, running $(BUILD)/touchdrill
#   make uninstall-desktop  take them away again
PACKAGING_FILES = $(BUILD)/packaging/files

.PHONY: shipped dist dist-check deb deb-check install-desktop uninstall-desktop

# What the archive and the package hold, and nothing else (no test program).
shipped: program
	@cmake --build $(BUILD) -j $(JOBS) --target touchdrill_shipped

dist: shipped
	@cd $(BUILD) && cpack --config CPackConfig.cmake >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
	@echo "make dist: $(BUILD)/$$(cat $(BUILD)/packaging/archive-name)"

# The checks are tests: they need a build folder with testing on.
dist-check: configure dist
	cd $(BUILD) && TOUCHDRILL_ARCHIVE="$$PWD/$$(cat packaging/archive-name)" \
	  ctest --output-on-failure -R '^packaging_archive$$'

deb: shipped
	@cd $(BUILD) && cpack --config CPackConfig.cmake -G DEB >cpack-deb.log 2>&1 || { cat cpack-deb.log >&2; exit 1; }
	@echo "make deb: $$(sed -n 's/^CPack: - package: \(.*\) generated\.$$/\1/p' $(BUILD)/cpack-deb.log | sed 's|^$(CURDIR)/||')"

deb-check: configure deb
	cd $(BUILD) && TOUCHDRILL_DEB="$$(sed -n 's/^CPack: - package: \(.*\) generated\.$$/\1/p' cpack-deb.log)" \
	  ctest --output-on-failure -R '^packaging_deb$$'

install-desktop: shipped
	@$(PACKAGING_FILES)/install-desktop.sh --exe $(BUILD)/touchdrill

uninstall-desktop: shipped
	@$(PACKAGING_FILES)/install-desktop.sh --uninstall
