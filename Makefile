# make run : install what the build and the programs need, build, start Tarnwick
# make test: install what the build and tests need, build with the sanitizers, run every test
#            (and the threaded modules' tests once more under ThreadSanitizer)
SHELL := /bin/bash
JOBS  ?= $(shell nproc)
SUDO  := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Debian 12 packages. `make run` installs what the build and the programs need; `make test` adds
# what only the tests use.
# The build: compiler, CMake, Qt's and JSON's headers.
BUILD_PACKAGES := cmake ninja-build g++ make pkg-config qtbase5-dev nlohmann-json3-dev
# The programs at run time: Qt, the tunnel (openvpn; ip from iproute2 for its routes), the
# application fonts (DejaVu, the CJK fallback WenQuanYi, Wine's faces for Brellfin's dialogs) and
# Qt's own translations.
RUN_PACKAGES := libqt5network5 libqt5widgets5 openvpn iproute2 \
                fonts-dejavu-core fonts-wqy-microhei fonts-wine qttranslations5-l10n
# The tests only. Built with: GoogleTest, clang-format (the layout check), python3 (the include
# layer check) and libxcb (the start-up bench). Run with: X servers and tools (Xvfb with xauth for xvfb-run, x11-utils'
# xwininfo/xprop, openbox as window manager), the VNC servers the viewer is tested against
# (x11vnc, TigerVNC's), socat (serial pairs), openssl (the VPN lab's certificates), procps and
# TigerVNC's viewer (the VNC bench's baseline).
TEST_BUILD_PACKAGES := libgtest-dev libgmock-dev clang-format python3 libxcb1-dev
TEST_RUN_PACKAGES   := xvfb xauth x11-utils openbox x11vnc tigervnc-standalone-server socat openssl \
                       procps tigervnc-viewer

RUN_DIR  := build/run
TEST_DIR := build/test
# The tests of the threaded modules (TW_TSAN_FOLDERS in CMakeLists.txt) under ThreadSanitizer.
TSAN_DIR := build/tsan
# What `make run` builds: the programs, the shared library and the virtual-pair
# tool, with what they link; no benches, no tests, nothing linked with GoogleTest.
PROGRAMS := Tarnwick Brellfin quillet_program skerrow platform_vcom_setupc

.PHONY: deps test-deps run build test clean

# The packages of a list that are not installed yet, and the command that installs them.
missing = $(strip $(foreach p,$(1),$(if $(shell dpkg-query -W -f='$${Status}' $(p) 2>/dev/null \
                                                | grep 'install ok installed'),,$(p))))
install = missing="$(call missing,$(1))"; \
	if [ -n "$$missing" ]; then \
	    echo "installing: $$missing"; \
	    $(SUDO) apt-get update -q && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

# `make test` installs in two steps: what the build needs before it, and what only runs in the
# tests beside the build.
deps:
	@$(call install,$(BUILD_PACKAGES) $(RUN_PACKAGES))
test-deps:
	@$(call install,$(BUILD_PACKAGES) $(TEST_BUILD_PACKAGES))

build: deps
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_TESTS=OFF
	cmake --build $(RUN_DIR) -j $(JOBS) --target $(PROGRAMS)

run: build
	cd $(RUN_DIR)/bin && ./Tarnwick

# Both trees are configured first. The packages the tests run with install while the main tree
# builds (sudo asks for its password first, in the foreground, when it will be needed), into a
# log that is shown when the installation fails. The ThreadSanitizer tree builds only its test
# programs, from the end of the main tree's build and while the main tree's tests run (most of
# them wait on sockets, timers and processes), at a lower priority than the tests, into its own
# log that is shown when that build fails. Each tree's tests run even when the other's fail; the
# result fails when either does. The ThreadSanitizer tree runs half again as many tests at once
# as there are processors: most of its tests wait, and at one a processor the processors idled
# through the first half of its run. setarch -R: the ThreadSanitizer runtime cannot map its
# shadow memory on kernels with wide address randomisation.
TSAN_TEST_JOBS = $(shell echo $$(( $(JOBS) * 3 / 2 )))
test: test-deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=ON -DTW_TESTS=ON -DTW_WERROR=ON
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=thread -DTW_TESTS=ON -DTW_WERROR=ON
	@$(if $(SUDO),$(if $(call missing,$(RUN_PACKAGES) $(TEST_RUN_PACKAGES)),$(SUDO) -v))
	@status=0; tsan_build=; \
	($(call install,$(RUN_PACKAGES) $(TEST_RUN_PACKAGES))) >build/run-deps.log 2>&1 & \
	run_deps=$$!; \
	if cmake --build $(TEST_DIR) -j $(JOBS); then \
	    nice -n 10 ninja -C $(TSAN_DIR) -j $(JOBS) tw_tests >$(TSAN_DIR)/build.log 2>&1 & \
	    tsan_build=$$!; \
	else \
	    status=1; \
	fi; \
	if wait $$run_deps; then \
	    grep -m1 '^installing:' build/run-deps.log || true; \
	else \
	    cat build/run-deps.log; echo "What the tests run with did not install."; status=1; \
	fi; \
	if [ $$status != 0 ]; then \
	    if [ -n "$$tsan_build" ]; then kill $$tsan_build; wait $$tsan_build; fi; \
	    exit $$status; \
	fi; \
	(cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600) || status=1; \
	if wait $$tsan_build; then \
	    echo "ThreadSanitizer tree built ($(TSAN_DIR)/build.log)"; \
	    (cd $(TSAN_DIR) && setarch "$$(uname -m)" -R ctest --output-on-failure -j $(TSAN_TEST_JOBS) --timeout 600) \
	        || status=1; \
	else \
	    cat $(TSAN_DIR)/build.log; echo "The ThreadSanitizer tree did not build."; status=1; \
	fi; \
	exit $$status

clean:
	rm -rf build
