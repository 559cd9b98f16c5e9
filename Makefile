# make run : install what the build needs, build, start Tarnwick
# make test: install what the build and tests need, build with the sanitizers, run every test
SHELL := /bin/bash
JOBS  ?= $(shell nproc)
SUDO  := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Debian 12 packages the build and the tests need.
PACKAGES := cmake ninja-build g++ make pkg-config \
            qtbase5-dev libqt5network5 libqt5widgets5 fonts-dejavu-core \
            libgtest-dev libgmock-dev nlohmann-json3-dev \
            openvpn iproute2 openssl socat xvfb xauth procps \
            x11vnc tigervnc-standalone-server x11-utils fonts-wqy-microhei \
            qttranslations5-l10n

RUN_DIR  := build/run
TEST_DIR := build/test

.PHONY: deps run build test clean

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "installing:$$missing"; \
	    $(SUDO) apt-get update -q && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_TESTS=OFF
	cmake --build $(RUN_DIR) -j $(JOBS)

run: build
	@if [ -x $(RUN_DIR)/bin/Tarnwick ]; then \
	    cd $(RUN_DIR)/bin && ./Tarnwick; \
	else \
	    echo "Everything present was built into $(RUN_DIR); the Tarnwick program itself is not part of the build yet."; \
	fi

test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=ON -DTW_TESTS=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

clean:
	rm -rf build
