#!/usr/bin/env bash
# Sets up a Debian 12 machine for Kolvanex and runs it.
#
#   scripts/kolvanex.sh run    install, build, run the main job on the default machine prefix
#   scripts/kolvanex.sh test   install, build with AddressSanitizer and UBSan, run every test;
#                              then the tests of the cipher (its writer thread) and of the
#                              tree walk (its helpers) under ThreadSanitizer
#   scripts/kolvanex.sh check  install, check the layers, the formatting and static analysis,
#                              build optimised with the tests and run them, render every dialog
#   scripts/kolvanex.sh bench  install, build optimised, run the benchmarks
#   scripts/kolvanex.sh package  install what the build needs, build optimised, make the
#                              Debian package in build-package/
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config git ca-certificates
          libsqlite3-dev libssl-dev libcurl4-openssl-dev libcli11-dev nlohmann-json3-dev
          libgtest-dev libgmock-dev libbenchmark-dev openssl
          python3 clang-format cppcheck
          qt6-base-dev qt6-translations-l10n xvfb xauth fonts-dejavu-core chromium chromium-driver
          firefox-esr)

install_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The browser's driver reaches the browser it starts at "localhost"; a bare
# root (a container, a debootstrap) may lack the name, and then no browser
# session can begin.
ensure_localhost() {
    getent hosts localhost >/dev/null && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "adding localhost to /etc/hosts"
    printf '127.0.0.1 localhost\n::1 localhost ip6-localhost ip6-loopback\n' | $sudo tee -a /etc/hosts >/dev/null
}

build() {  # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

case "${1:-}" in
    run)
        install_packages
        build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_TESTS=OFF -DKX_BENCH=OFF
        ./build/kolvanex machine init
        ./build/kolvanex machine info
        # A settings round trip through the store and the public class, under
        # a title of its own so that the user's own settings stay untouched.
        k=(./build/kolvanex --title Selbsttest)
        "${k[@]}" settings set Options DeleteN 7
        "${k[@]}" settings get Options DeleteN
        "${k[@]}" call QueryUserInformationString \
            'Software\VB and VBA Program Settings\Selbsttest\Options' DeleteN ''
        "${k[@]}" reg delete 'HKCU\Software\VB and VBA Program Settings\Selbsttest'
        # The main job: a whole cleaning run on a throw-away machine planted
        # with tracks of every kind, then a real run on the default machine.
        ./build/kolvanex demo
        ./build/kolvanex clean
        ;;
    test)
        install_packages
        ensure_localhost
        build build-san -DCMAKE_BUILD_TYPE=Debug -DKX_SANITIZE=ON -DKX_BENCH=OFF -DKX_WERROR=ON
        ctest --test-dir build-san --output-on-failure -j "$(nproc)"
        cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKX_SANITIZE_THREAD=ON \
            -DKX_BENCH=OFF -DKX_WERROR=ON >/dev/null
        cmake --build build-tsan -j "$(nproc)" --target test_crypt test_platform
        # Run by hand, not by ctest: the language their expectations are written in.
        TSAN_OPTIONS=halt_on_error=1 LANGUAGE=de ./build-tsan/tests/test_crypt
        TSAN_OPTIONS=halt_on_error=1 LANGUAGE=de ./build-tsan/tests/test_platform \
            --gtest_filter='ScanTree.*'
        ;;
    check)
        install_packages
        ensure_localhost
        python3 scripts/check_layers.py
        scripts/check_format.sh
        scripts/static_analysis.sh
        build build-release -DCMAKE_BUILD_TYPE=Release -DKX_BENCH=ON -DKX_WERROR=ON
        ctest --test-dir build-release --output-on-failure -j "$(nproc)"
        # Every dialog must come up under a virtual screen with no text cut off.
        scripts/screenshots.sh build-release "$(mktemp -d)"
        ;;
    bench)
        install_packages
        build build -DCMAKE_BUILD_TYPE=Release -DKX_TESTS=OFF -DKX_BENCH=ON
        for script in bench/run_*.sh; do bash "$script" build; done
        ;;
    package)
        # Only what building the programs needs; the package's own
        # dependencies are found from the built programs (dpkg-shlibdeps,
        # which looks at them with file).
        packages=(build-essential cmake ninja-build pkg-config ca-certificates file python3
                  libsqlite3-dev libssl-dev libcurl4-openssl-dev libcli11-dev nlohmann-json3-dev
                  qt6-base-dev)
        install_packages
        build build-package -DCMAKE_BUILD_TYPE=Release -DKX_TESTS=OFF -DKX_BENCH=OFF
        (cd build-package && cpack -G DEB)
        ;;
    *)
        echo "usage: $0 run|test|check|bench|package" >&2
        exit 2
        ;;
esac
