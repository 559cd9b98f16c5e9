# make run : install what the build needs, build, start Tarnwick
# make test: install what the build and tests need, build with the sanitizers, run every test
SHELL := /bin/bash
JOBS  ?= $(shell nproc)
SUDO  := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Debian 12 packages the build and the tests need; GoogleTest, clang-format, a window manager
# (openbox, for the dialogs under Xvfb), libxcb (the start-up bench) and TigerVNC's viewer (the VNC
# bench's baseline) only for the tests.
PACKAGES := cmake ninja-build g++ make pkg-config \
            qtbase5-dev libqt5network5 libqt5widgets5 fonts-dejavu-core \
            nlohmann-json3-dev \
            openvpn iproute2 openssl socat xvfb xauth procps \
            x11vnc tigervnc-standalone-server x11-utils fonts-wqy-microhei \
            qttranslations5-l10n fonts-wine
TEST_PACKAGES := libgtest-dev libgmock-dev clang-format openbox libxcb1-dev tigervnc-viewer

RUN_DIR  := build/run
TEST_DIR := build/test
# What `make run` builds: the programs, the shared library and the virtual-pair
# tool, with what they link; no benches, no tests, nothing linked with GoogleTest.
PROGRAMS := Tarnwick Brellfin quillet_program skerrow platform_vcom_setupc

.PHONY: deps test-deps run build test clean

deps: WANTED = $(PACKAGES)
test-deps: WANTED = $(PACKAGES) $(TEST_PACKAGES)
deps test-deps:
	@missing=""; \
	for p in $(WANTED); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "installing:$$missing"; \
	    $(SUDO) apt-get update -q && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_TESTS=OFF
	cmake --build $(RUN_DIR) -j $(JOBS) --target $(PROGRAMS)

run: build
	cd $(RUN_DIR)/bin && ./Tarnwick

test: test-deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=ON -DTW_TESTS=ON -DTW_WERROR=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

clean:
	rm -rf build
