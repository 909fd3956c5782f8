# The two commands a newcomer types on a fresh Debian machine: `make demo` and `make test`.
# Both install what is missing, configure and build first.

BUILD ?= build
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo
PACKAGES = cmake g++ make pkg-config libgtest-dev libgmock-dev libpugixml-dev nlohmann-json3-dev

.PHONY: all deps configure build test demo clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  echo "Installing:$$missing"; \
	  $$sudo apt-get update && $$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	BUILD=$(BUILD) ./scripts/demo.sh

clean:
	rm -rf $(BUILD)
