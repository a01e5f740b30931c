# Front door: installs what is missing, then drives CMake presets.
PACKAGES := libtbb-dev libboost-dev libgtest-dev libbenchmark-dev cmake ninja-build g++
JOBS ?= $(shell nproc)

.PHONY: setup configure build test sanitize-build test-sanitize clean

setup:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "Missing packages. Run:"; echo "  sudo apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi

configure: setup
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

test: build
	ctest --preset default -j $(JOBS)

sanitize-build: setup
	cmake --preset sanitize
	cmake --build --preset sanitize -j $(JOBS)

test-sanitize: sanitize-build
	ctest --preset sanitize -j $(JOBS)

clean:
	rm -rf build
