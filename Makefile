BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test test-asan fuzz bench clean package

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/Scadenzio/Scadenzio

# The tests of the server database need a PostgreSQL cluster: a throwaway one is started on a free
# port of 127.0.0.1 and stopped after the tests, whatever they did; ctest's status is the target's.
test: build
	@scripts/pg-test-cluster run $(abspath $(BUILD))/pg-test -- \
	  sh -c 'cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)'

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
# Leak reports are off: Qt's and fontconfig's process-lifetime caches would drown ours.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSZ_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@scripts/pg-test-cluster run $(abspath $(ASAN_BUILD))/pg-test -- \
	  sh -c 'cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900'

# Every reader under libFuzzer for FUZZ_SECONDS each (clang, ASan, UBSan).
fuzz: deps
	@fuzz/run.sh $(FUZZ_SECONDS)

# The Debian package of this build: $(BUILD)/scadenzio_VERSION_amd64.deb.
package: build
	@packaging/build-deb $(BUILD)

bench: build
	@$(BUILD)/bench/scadenzio-bench

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
