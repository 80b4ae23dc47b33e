# veltro: `make run` and `make test` set up a fresh Debian machine, build and go.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
CTEST_ARGS ?= --output-on-failure -j$(JOBS)

.PHONY: all build deps run test test-release test-asan install deb bench fuzz clean

all: build

deps:
	@bash scripts/setup.sh

build:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: deps build
	./$(BUILD)/veltro examples/hello.vt

test-release: build
	cd $(BUILD) && ctest $(CTEST_ARGS)

test-asan:
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRO_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && SDL_VIDEODRIVER=dummy ctest $(CTEST_ARGS)

test: deps
	@$(MAKE) --no-print-directory test-release
	@$(MAKE) --no-print-directory test-asan

install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

# The Debian package: $(BUILD)/veltro_<version>_<arch>.deb
deb: deps build
	cd $(BUILD) && cpack -G DEB

FUZZ_SECONDS ?= 60
fuzz:
	@bash scripts/setup.sh --fuzz
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

bench: build
	@bash scripts/setup.sh --bench
	@bash bench/run.sh $(BUILD)/veltro

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
