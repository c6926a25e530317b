# The user's entry points. The build lives in build/; the executables in build/bin/.
BUILD ?= build
JOBS ?= $(shell nproc)
# The compiler cache, when present, serves this build and the package build (make deb) alike.
CCACHE := $(shell command -v ccache 2>/dev/null)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1

.PHONY: all build configure deps test deb demo bench run reliability fuzz screenshots clean windows

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
	@$(MAKE) --no-print-directory windows
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The Windows build (x86_64, static) with mingw-w64 in $(WINBUILD)/, its libraries
# cross-built once from Debian's sources (scripts/build-win-deps.sh). The Linux build's
# tests run its test executables under Wine (label wine).
WINBUILD ?= $(BUILD)-win
windows: deps
	JOBS=$(JOBS) bash scripts/build-windows.sh $(WINBUILD)

# ornel-ftp_<version>_amd64.deb in $(BUILD)-deb/: the installed layout, checked by lintian.
deb: deps
	JOBS=$(JOBS) bash scripts/build-deb.sh $(BUILD)-deb

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
	rm -rf $(BUILD) $(BUILD)-deb $(WINBUILD)
