MAKEFLAGS += --no-print-directory
# Front door for building, running and testing Quox.
#   make            release build, binary ./quox: profile-guided when the compiler
#                   can do it (PGO=0 for the plain one)
#   make run        build and start the engine (UCI on stdin/stdout)
#   make test       build and run every test CI runs (release, ASan+UBSan and TSan builds)
#   make test-slow  the long suites too (full-depth perft and the like)
#   make EXE=name   release build, binary copied to ./name
#   make train      the train build, binary ./quox-train (-train and -train2 work)
#   make pgo        profile-guided release build, trained on `quox bench`, binary ./quox
#   make plain      release build without the profile, binary ./quox
#   make debug | sanitize | tsan | portable
#   make fuzz       the libFuzzer harnesses (clang), build/fuzz/fuzz_*
#   make fuzz-run   every harness for FUZZ_SECONDS each (default 600); FUZZ=name runs one

JOBS     ?= $(shell nproc)
EXE      ?= quox
BUILD    := build
CMAKE    := cmake
CTEST    := ctest --output-on-failure -j $(JOBS)

FUZZ_SECONDS ?= 600
FUZZ_TEST_SECONDS ?= 10
FUZZ ?=

.PHONY: all plain release pgo run test test-fast test-slow test-sanitize test-tsan test-fuzz debug sanitize tsan portable train \
	fuzz fuzz-run clean

# The profile-guided build searches the same tree 5-9 % faster (README,
# "Benchmark and figures"); compilers that cannot instrument get the plain build.
PGO ?= $(shell $(CXX) -fprofile-generate -x c++ -c /dev/null -o /dev/null 2>/dev/null && echo 1 || echo 0)

all: $(if $(filter 1,$(PGO)),pgo,plain)

plain: release
	@cp $(BUILD)/release/quox $(EXE)

release:
	@$(CMAKE) -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(CMAKE) --build $(BUILD)/release -j $(JOBS) --target quox

train:
	@$(CMAKE) -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(CMAKE) --build $(BUILD)/release -j $(JOBS) --target quox-train
	@cp $(BUILD)/release/quox-train quox-train

# Instrumented build, one benchmark run for the profile, then the same
# objects rebuilt with it; made afresh whenever a source changes. A stage
# that fails deletes the binary, so an instrumented one is never copied.
.DELETE_ON_ERROR:
PGO_DIR := $(BUILD)/pgo
PGO_INPUTS := $(shell find src nets -type f) CMakeLists.txt
pgo: $(PGO_DIR)/quox
	@cp $(PGO_DIR)/quox $(EXE)

$(PGO_DIR)/quox: $(PGO_INPUTS)
	@$(CMAKE) -S . -B $(PGO_DIR) -DCMAKE_BUILD_TYPE=Release -DQUOX_TESTS=OFF -DQUOX_PGO=generate >/dev/null
	@$(CMAKE) --build $(PGO_DIR) -j $(JOBS) --target quox
	@rm -rf $(PGO_DIR)/pgo-profile
	cd $(PGO_DIR) && ./quox bench >/dev/null
	@$(CMAKE) -S . -B $(PGO_DIR) -DQUOX_PGO=use >/dev/null
	@$(CMAKE) --build $(PGO_DIR) -j $(JOBS) --target quox

run: all
	./$(EXE)

# Release build with every fast test, the same tests under ASan+UBSan, and
# the multi-threaded searches under ThreadSanitizer, and a short run of
# every fuzz harness.
test: test-fast test-sanitize test-tsan test-fuzz

test-fast:
	@$(CMAKE) -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(CMAKE) --build $(BUILD)/release -j $(JOBS)
	cd $(BUILD)/release && $(CTEST) -LE slow

test-sanitize: sanitize
	cd $(BUILD)/sanitize && $(CTEST) -LE 'slow|nosan'

test-tsan: tsan
	cd $(BUILD)/tsan && $(CTEST) -R '^(Threads|Pondering|Protocol)\.'

test-slow:
	@$(CMAKE) -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(CMAKE) --build $(BUILD)/release -j $(JOBS)
	cd $(BUILD)/release && $(CTEST) -L slow

# A short run of every harness from its seeds. A fresh machine lacks clang:
# it is installed from Debian's packages where we may, else the run is skipped.
test-fuzz:
	@if ! command -v clang++ >/dev/null && [ "$$(id -u)" = 0 ] && command -v apt-get >/dev/null; then \
		apt-get install -y -q clang libclang-rt-dev >/dev/null 2>&1 || \
		{ apt-get update -q >/dev/null 2>&1; apt-get install -y -q clang libclang-rt-dev >/dev/null 2>&1; }; \
	fi; \
	if command -v clang++ >/dev/null; then \
		$(MAKE) fuzz && python3 tests/fuzz/fuzz.py run $(BUILD)/fuzz $(FUZZ_TEST_SECONDS); \
	else \
		echo "fuzz harnesses skipped: clang++ is not installed"; \
	fi

fuzz:
	@$(CMAKE) -S . -B $(BUILD)/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOX_FUZZ=ON \
		-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_ASM_COMPILER=clang >/dev/null
	@$(CMAKE) --build $(BUILD)/fuzz -j $(JOBS) --target fuzzers
	@python3 tests/fuzz/fuzz.py seeds $(BUILD)/fuzz ../shared

fuzz-run: fuzz
	python3 tests/fuzz/fuzz.py run $(BUILD)/fuzz $(FUZZ_SECONDS) $(FUZZ)

debug:
	@$(CMAKE) -S . -B $(BUILD)/debug -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@$(CMAKE) --build $(BUILD)/debug -j $(JOBS)

sanitize:
	@$(CMAKE) -S . -B $(BUILD)/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOX_SANITIZE=address,undefined >/dev/null
	@$(CMAKE) --build $(BUILD)/sanitize -j $(JOBS)

tsan:
	@$(CMAKE) -S . -B $(BUILD)/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOX_SANITIZE=thread >/dev/null
	@$(CMAKE) --build $(BUILD)/tsan -j $(JOBS)

portable:
	@$(CMAKE) -S . -B $(BUILD)/portable -DCMAKE_BUILD_TYPE=Release -DQUOX_PORTABLE=ON >/dev/null
	@$(CMAKE) --build $(BUILD)/portable -j $(JOBS)

clean:
	rm -rf $(BUILD) quox
