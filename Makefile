# Front door of the project: every target installs what is missing first.
BUILD      ?= build
SAN_BUILD  ?= build-san
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
PACKAGE_BUILD ?= build-package
WEB_BUILD  ?= build-web
FUZZ_SECONDS ?= 300
FUZZ_SMOKE_SECONDS ?= 20
FUZZ_TARGETS ?= png sound engine neat_io
JOBS       ?= $(shell nproc)
CMAKE_OPTS ?=

.PHONY: all deps build test sanitize bench run clean assets fuzz fuzz-build fuzz-smoke arena soak \
	learning learning-remember install uninstall package docs polebalance-study docs-pictures \
	web web-serve web-bench

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQF_WEB_BUILD=$(abspath $(WEB_BUILD)) \
		$(CMAKE_OPTS)
	cmake --build $(BUILD) -j $(JOBS)

test: build web $(WEB_BUILD)/node/installed
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) sanitize
	$(MAKE) fuzz-smoke

sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQF_SANITIZE=ON -DQF_BENCH=OFF $(CMAKE_OPTS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# The fuzz targets under clang with libFuzzer, ASan and UBSan; the corpora grow in
# $(FUZZ_BUILD)/corpus, anything found lands in $(FUZZ_BUILD)/artifacts.
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQF_SANITIZE=ON -DQF_FUZZ=ON -DQF_BENCH=OFF $(CMAKE_OPTS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz: fuzz-build
	tests/fuzz/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The short run CI makes as part of make test.
fuzz-smoke: fuzz-build
	tests/fuzz/run-fuzzers --fresh $(FUZZ_BUILD) $(FUZZ_SMOKE_SECONDS) $(FUZZ_TARGETS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_OPTS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target run_benchmarks

# The game runs in its data directory: the sprites load from there and log.txt lands there.
run: build
	cd $(BUILD)/data && ../app/quillfrost

# Regenerates the committed pictures and sounds, and previews of them in $(BUILD)/preview.
assets: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_OPTS)
	cmake --build $(BUILD) -j $(JOBS) --target assetgen
	$(BUILD)/tools/assetgen/assetgen assets
	$(BUILD)/tools/assetgen/assetgen --preview $(BUILD)/preview

# The pictures under docs/ that the project's own programs draw in a minute or two: network
# drawings and screenshots (tools/docs-pictures). `make test` checks that they are current.
# The pole-balancing and learning pictures come from polebalance-study and learning.
docs-pictures: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_OPTS)
	cmake --build $(BUILD) -j $(JOBS) --target arena xor polebalance screenshot
	tools/docs-pictures $(BUILD)

# The headless arena: the real game played by an autopilot with a hand-moved clock. Writes
# arena-seed<SEED>.csv, arena-seed<SEED>.png and log.txt into $(BUILD)/arena.
SEED        ?= 1
GENERATIONS ?= 100
arena: build
	$(BUILD)/tools/arena/arena --seed $(SEED) --generations $(GENERATIONS) --out $(BUILD)/arena

# A thousand generations in one process (not run by `make test`): wall time and peak memory
# from /usr/bin/time -v; every line shows the gene pool and the resident size.
SOAK_GENERATIONS ?= 1000
soak: build
	/usr/bin/time -v $(BUILD)/tools/arena/arena --seed $(SEED) \
		--generations $(SOAK_GENERATIONS) --memory --out $(BUILD)/soak

# The learning study (not run by `make test`; many minutes): every player, LEARNING_SEEDS seeds,
# long games with checkpoints, frozen replays and games under the rules, two runs at a time.
# Writes learning.md and its pictures into $(BUILD)/learning.
LEARNING_SEEDS       ?= 5
LEARNING_GENERATIONS ?= 100
LEARNING_REPLAY      ?= 1,20,100
LEARNING_JOBS        ?= 2
learning: build
	$(BUILD)/tools/arena/learning --seeds $(LEARNING_SEEDS) --generations $(LEARNING_GENERATIONS) \
		--replay $(LEARNING_REPLAY) --jobs $(LEARNING_JOBS) --out $(BUILD)/learning

# Only its games in remember mode and their replays, into $(BUILD)/learning-remember.
learning-remember: build
	$(BUILD)/tools/arena/learning --remember-only --seeds $(LEARNING_SEEDS) --jobs $(LEARNING_JOBS) \
		--out $(BUILD)/learning-remember

# Installing like a Linux game (packaging/). make install puts the launcher in
# $(PREFIX)/games, the program in $(PREFIX)/lib/games/quillfrost and the data in
# $(PREFIX)/share/quillfrost, and the engine's development files in $(PREFIX)/include/quillfrost
# and $(PREFIX)/lib/<multiarch> (DESTDIR is honoured); make uninstall with the same PREFIX
# takes it all out again. make package builds the Debian packages in $(PACKAGE_BUILD), from a
# build of only what they ship.
# A tree already built is only brought up to date, not configured again, so that
# `sudo make install` after `make build` leaves no files owned by root in it. CMake makes
# directories under the umask, so a strict one would close the installation to players.
PREFIX ?= /usr/local
install:
	@test -f $(BUILD)/CMakeCache.txt || $(MAKE) build
	cmake --build $(BUILD) -j $(JOBS)
	umask 022 && cmake --install $(BUILD) --prefix $(abspath $(PREFIX)) --strip

uninstall:
	cmake -DQF_BUILD_DIR=$(abspath $(BUILD)) -DQF_PREFIX=$(abspath $(PREFIX)) \
		-P packaging/uninstall.cmake

package: deps
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
		-DQF_TESTS=OFF -DQF_BENCH=OFF -DQF_EXAMPLES=OFF -DQF_TOOLS=OFF $(CMAKE_OPTS)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && umask 022 && cpack

# The engine's reference (Doxygen over the public headers) in $(BUILD)/docs/reference/html.
docs: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_OPTS)
	cmake --build $(BUILD) --target docs

# Plants the faults of tools/mutants/faults.txt one at a time in a copy of the tree (in
# build-mutants/) and reports which ones ctest catches; half an hour or so, not part of make test.
.PHONY: mutants
mutants: deps
	tools/mutants/plant-faults --jobs $(JOBS)

# The pole-balancing study (not run by `make test`): STUDY_RUNS runs of each study from seed 1
# on STUDY_THREADS threads. Writes study-<name>.txt (a line per run, then the statistics and
# the settings) and study-<name>.png (evaluations to solve) into STUDY_DIR, the README's
# pictures by default. double-nv-no-self-connection is double-nv without the output's
# self-connection at the start, all else as the preset.
STUDY_RUNS    ?= 100
STUDY_THREADS ?= 2
STUDY_TASKS   ?= single double double-nv double-nv-no-self-connection
STUDY_DIR     ?= docs/polebalance
polebalance-study: build
	mkdir -p $(STUDY_DIR)
	set -e; for study in $(STUDY_TASKS); do \
		case $$study in \
			double-nv-no-self-connection) \
				args="--task double-nv --set ConnectOutputOfInitialPop=false";; \
			*) args="--task $$study";; \
		esac; \
		$(BUILD)/examples/polebalance/polebalance $$args --runs $(STUDY_RUNS) \
			--threads $(STUDY_THREADS) --plot $(STUDY_DIR)/study-$$study.png \
			> $(STUDY_DIR)/study-$$study.txt; \
		tail -n 14 $(STUDY_DIR)/study-$$study.txt; \
	done

# The browser build (platform/web): a static site in $(WEB_BUILD)/site, built with emscripten.
# zlib and libpng are compiled from Debian's sources; the status bar's glyphs come from a pack
# the native build renders with its own FreeType (tools/glyphpack).
WEB_CMAKE = NODE_PATH=/usr/share/nodejs emcmake cmake
web: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQF_WEB_BUILD=$(abspath $(WEB_BUILD)) \
		$(CMAKE_OPTS)
	cmake --build $(BUILD) -j $(JOBS) --target glyphpack
	mkdir -p $(WEB_BUILD)
	$(BUILD)/tools/glyphpack/glyphpack $(WEB_BUILD)/glyphs.pack
	platform/web/fetch-debian-sources $(WEB_BUILD)/debian-src
	$(WEB_CMAKE) -S platform/web -B $(WEB_BUILD) -DQF_DEBIAN_SOURCES=$(abspath $(WEB_BUILD))/debian-src \
		-DQF_GLYPH_PACK=$(abspath $(WEB_BUILD))/glyphs.pack
	NODE_PATH=/usr/share/nodejs cmake --build $(WEB_BUILD) -j $(JOBS)

# Serves the site for a player: open the address it prints. Any static web server will do.
WEB_PORT ?= 8023
web-serve: web
	@echo "Quillfrost: open http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C stops the server)"
	python3 -m http.server $(WEB_PORT) --bind 127.0.0.1 --directory $(WEB_BUILD)/site

# The browser's figures (not a test): load to first frame, busy frame, blend rows, site sizes.
web-bench: web $(WEB_BUILD)/node/installed
	NODE_PATH=/usr/share/nodejs cmake --build $(WEB_BUILD) -j $(JOBS) --target web_bench
	NODE_PATH=$(abspath $(WEB_BUILD))/node/node_modules node bench/web/browser_bench.js $(WEB_BUILD)

# The browser test's driver (puppeteer-core), as tests/web/package-lock.json pins it.
$(WEB_BUILD)/node/installed: tests/web/package.json tests/web/package-lock.json
	mkdir -p $(WEB_BUILD)/node
	cp tests/web/package.json tests/web/package-lock.json $(WEB_BUILD)/node/
	cd $(WEB_BUILD)/node && npm ci --no-audit --no-fund
	touch $@

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(WEB_BUILD)
