# The user's entry points. The build lives in build/; the executables in build/bin/.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all build configure deps test demo bench run reliability fuzz screenshots clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

demo: deps
	@$(MAKE) --no-print-directory build
	bash scripts/demo.sh $(BUILD)

bench: deps
	@$(MAKE) --no-print-directory build
	bash scripts/bench.sh $(BUILD)

# The reliability proof (crash consistency, fault injection, hostile servers, load); long.
reliability: deps
	@$(MAKE) --no-print-directory build
	bash tests/reliability/run.sh $(BUILD)

# libFuzzer targets built with clang apart from the main build; FUZZ_SECONDS each (60).
FUZZ_SECONDS ?= 60
fuzz:
	bash tests/reliability/fuzz.sh $(BUILD) $(FUZZ_SECONDS)

run: build
	$(BUILD)/bin/ornel_ftp

# The windows under Xvfb with a tray host; PNGs in $(BUILD)/screenshots/.
screenshots: deps
	@$(MAKE) --no-print-directory build
	bash scripts/screenshots.sh $(BUILD)
	bash scripts/screenshots-options.sh $(BUILD)

clean:
	rm -rf $(BUILD)
