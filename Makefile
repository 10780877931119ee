# Front door for the usual tasks; CMake + Ninja do the real work.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= 2
# make EXE=PATH: the Release engine alone, copied to PATH (the testing frameworks' convention);
# CXX picks the compiler. It has a build folder of its own, so a compiler change never meets an
# old CMake cache.
EXE_BUILD  ?= build-exe
# CI may skip the slow suites (deep perft and the like).
CTEST_ARGS ?= $(if $(CI),-LE slow,)

# The opening book the engine finds beside itself, built from the shipped master games.
BOOK_PGN   ?= data/pgn/master/Carlsen.pgn
BOOK       := $(BUILD)/QuietMarmoset.book

.PHONY: all build exe run book test sanitize asan tsan bench format clean

ifdef EXE
all: exe
else
all: build
endif

exe:
	cmake -S . -B $(EXE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF \
		-DCMAKE_CXX_COMPILER=$(CXX)
	cmake --build $(EXE_BUILD) --target quietmarmoset -j $(JOBS)
	cp $(EXE_BUILD)/quietmarmoset $(EXE)

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build $(BOOK)
	./$(BUILD)/quietmarmoset

book: build $(BOOK)

# Rebuilt only when missing or older than the PGN; written under a temporary name first, so
# that a failed run leaves no half-written book behind.
$(BOOK): $(BOOK_PGN) | build
	cd $(BUILD) && printf 'createbook %s QuietMarmoset.book.tmp\n' "$(abspath $(BOOK_PGN))" \
		| ./quietmarmoset | grep 'stored [1-9]' >/dev/null
	mv $(BUILD)/QuietMarmoset.book.tmp $@

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

asan:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=address,undefined
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS) -LE slow

tsan:
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=thread
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -LE slow

sanitize: asan tsan

bench: build
	./$(BUILD)/qm_bench

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(EXE_BUILD)
