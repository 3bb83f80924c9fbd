# Convenience wrapper around CMake.
#   make        builds build/tallywick
#   make check  builds and runs the plain test suite once, printing only failures,
#               skip reasons and a summary (the quick check for day-to-day work)
#   make test   builds and runs every test, plainly and under ASan+UBSan
#   make demo   builds the program and writes demo/index.html (classic) and demo/modern.html
#               (page_layout=modern) from the bundled sample log
#   make install    installs under PREFIX (default /usr/local), staged under DESTDIR if set
#   make uninstall  removes exactly the files make install put there
#   make bench  builds an optimised binary and prints the throughput table (bench/run.sh)
#   make real-logs  reads the real client logs in ../shared/real-logs with the bundled formats
#   make fuzz   builds the fuzz harnesses and runs each for FUZZ_SECONDS seconds (fuzz/run.sh)
#   make memcheck  valgrind memcheck of the unit tests and of whole runs on the samples

BUILD_DIR   ?= build
ASAN_DIR    ?= build-asan
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build check test test-plain test-asan demo bench real-logs clean check-gtest skip-notes

all: build

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYWICK_TESTS=OFF >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS)

check-gtest:
	@if [ ! -f /usr/include/gtest/gtest.h ]; then \
	  echo "GoogleTest is missing: install Debian's libgtest-dev (apt-get install libgtest-dev)"; \
	  exit 1; \
	fi

# ctest shows a skipped test only as "***Skipped"; these say which tools the
# skipped checks need.
skip-notes:
	@command -v onsgmls >/dev/null && [ -f /usr/share/sgml/html/dtd/4.0/catalog ] || \
	  echo "Note: onsgmls or the HTML 4.0 DTDs are missing, so the HTML validation tests are skipped (apt-get install opensp sgml-data)"
	@tidy -v 2>/dev/null | grep -q 'version [5-9]' || \
	  echo "Note: tidy-html5 is missing, so the HTML5 validation of the modern page is skipped (apt-get install tidy)"
	@command -v chromium >/dev/null || command -v chromium-browser >/dev/null || \
	  echo "Note: chromium is missing, so the browser check of the modern page is skipped (apt-get install chromium)"
	@command -v groff >/dev/null || \
	  echo "Note: groff is missing, so the man page rendering check is skipped (apt-get install groff)"

# The plain suite, run once by the test binary itself: its brief mode prints
# only failures, the reasons of skipped tests and the summary.
check: check-gtest
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYWICK_TESTS=ON >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS) >$(BUILD_DIR)/check-build.log 2>&1 || \
	  { cat $(BUILD_DIR)/check-build.log; exit 1; }
	@cd $(BUILD_DIR) && TZ=UTC ./tallywick_tests --gtest_brief=1

test: test-plain test-asan

test-plain: check-gtest skip-notes
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYWICK_TESTS=ON >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: check-gtest skip-notes
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALLYWICK_SANITIZE=ON -DTALLYWICK_TESTS=ON >/dev/null
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

demo: build
	mkdir -p demo
	./$(BUILD_DIR)/tallywick -p examples/demo/format.txt -r examples/demo/demo.conf -o demo/index.html examples/demo/channel.log
	cp images/*.png demo/
	./$(BUILD_DIR)/tallywick -p examples/demo/format.txt -r examples/demo/demo.conf -r examples/demo/modern.conf -o demo/modern.html examples/demo/channel.log
	@echo "Wrote demo/index.html and demo/modern.html"

bench:
	bash bench/run.sh

real-logs:
	bash bench/real_logs.sh

# The program to bin, the manual page to share/man/man1, and the bundled
# formats, bar images and example settings to share/tallywick. The binary
# is built only when INSTALL_BINARY does not exist yet. The manual names
# the default prefix /usr/local; the installed copy names PREFIX instead,
# written for roff ("\" as "\e", "-" as "\-") and escaped for sed.
PREFIX         ?= /usr/local
DESTDIR        ?=
INSTALL_BINARY ?= $(BUILD_DIR)/tallywick
INSTALL_BIN     = $(DESTDIR)$(PREFIX)/bin
INSTALL_MAN     = $(DESTDIR)$(PREFIX)/share/man/man1
INSTALL_DATA    = $(DESTDIR)$(PREFIX)/share/tallywick
FORMAT_FILES    = $(notdir $(wildcard formats/*.txt))
IMAGE_FILES     = $(notdir $(wildcard images/*.png))
MAN_PREFIX      = $(subst |,\|,$(subst &,\&,$(subst -,\\-,$(subst \,\\e,$(PREFIX)))))

.PHONY: install uninstall

$(BUILD_DIR)/tallywick:
	$(MAKE) build

install: $(INSTALL_BINARY)
	install -d "$(INSTALL_BIN)" "$(INSTALL_MAN)" "$(INSTALL_DATA)/formats" "$(INSTALL_DATA)/images"
	install -m 755 "$(INSTALL_BINARY)" "$(INSTALL_BIN)/tallywick"
	sed -e 's|/usr/local|$(MAN_PREFIX)|g' doc/tallywick.1 >"$(INSTALL_MAN)/tallywick.1"
	chmod 644 "$(INSTALL_MAN)/tallywick.1"
	install -m 644 $(addprefix formats/,$(FORMAT_FILES)) "$(INSTALL_DATA)/formats"
	install -m 644 $(addprefix images/,$(IMAGE_FILES)) "$(INSTALL_DATA)/images"
	install -m 644 examples/tallywick.conf "$(INSTALL_DATA)/tallywick.conf"

uninstall:
	rm -f "$(INSTALL_BIN)/tallywick" "$(INSTALL_MAN)/tallywick.1" "$(INSTALL_DATA)/tallywick.conf"
	for f in $(FORMAT_FILES); do rm -f "$(INSTALL_DATA)/formats/$$f"; done
	for f in $(IMAGE_FILES); do rm -f "$(INSTALL_DATA)/images/$$f"; done
	rmdir "$(INSTALL_DATA)/formats" "$(INSTALL_DATA)/images" "$(INSTALL_DATA)" 2>/dev/null || true

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) demo

# make fuzz: builds the libFuzzer harnesses of fuzz/ with clang in
# build-fuzz/ and runs each for FUZZ_SECONDS seconds (FUZZ_SECONDS=0 only
# builds them). Needs Debian's clang and libclang-rt-14-dev.
FUZZ_SECONDS ?= 60

.PHONY: fuzz memcheck

fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash fuzz/run.sh

# make memcheck: valgrind memcheck, failing on any invalid read or write, use
# of undefined memory or definitely lost block, of the unit-test binary and
# of whole runs on the bundled samples. The suites whose work happens in a
# child process running the program (valgrind does not follow it there)
# are left out of the test binary's run: MEMCHECK_FILTER.
MEMCHECK_DIR    ?= build-memcheck
MEMCHECK_FILTER ?= -HostileInput.*:Install.*:HtmlValidationTest.*:BrowserCheck.*:Cases/EndToEnd.*
VALGRIND         = valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
                   --show-leak-kinds=definite --track-origins=yes --quiet

memcheck: check-gtest
	@command -v valgrind >/dev/null || { echo "valgrind is missing: install Debian's valgrind"; exit 1; }
	cmake -S . -B $(MEMCHECK_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALLYWICK_TESTS=ON >/dev/null
	cmake --build $(MEMCHECK_DIR) -j $(JOBS)
	cd $(MEMCHECK_DIR) && TZ=UTC $(VALGRIND) ./tallywick_tests --gtest_filter='$(MEMCHECK_FILTER)'
	TALLYWICK_THREADS=1 $(VALGRIND) $(MEMCHECK_DIR)/tallywick -p examples/demo/format.txt \
	  -r examples/demo/demo.conf -o $(MEMCHECK_DIR)/memcheck-demo.html examples/demo/channel.log
	printf 'alice\nbob\n' >$(MEMCHECK_DIR)/memcheck-exclude.txt
	TALLYWICK_THREADS=2 $(VALGRIND) $(MEMCHECK_DIR)/tallywick -v -v -p formats/irssi.txt \
	  -r examples/tallywick.conf -b $(MEMCHECK_DIR)/memcheck-exclude.txt \
	  -o $(MEMCHECK_DIR)/memcheck-irssi.html examples/irssi.log 2>$(MEMCHECK_DIR)/memcheck-irssi.err \
	  || { cat $(MEMCHECK_DIR)/memcheck-irssi.err; exit 1; }
	@echo "memcheck: no invalid access and no definitely lost block"
