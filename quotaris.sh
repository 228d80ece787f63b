#!/usr/bin/env bash
# Set-up, build and start of Quotaris on Debian 12.
#   ./quotaris.sh run    install the packages, build, start the program
#   ./quotaris.sh test   install the packages, build, run every test
#   ./quotaris.sh package  build, then make the Debian package in build/package
#                          and check it with lintian
#   ./quotaris.sh deps   only install the packages
#   ./quotaris.sh format-check  fail when clang-format would change a source file
# Extra arguments of "run" go to the program (e.g. ./quotaris.sh run info).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
    build-essential cmake ninja-build pkg-config lld
    qt6-base-dev qt6-base-dev-tools libgl-dev
    # Qt Charts; its CMake files need Qt OpenGL's, which Debian 12 does not pull in.
    qt6-charts-dev libqt6opengl6-dev
    libsqlcipher-dev sqlcipher
    libgtest-dev
    libfreexl-dev python3-xlrd
)
# Only for "package": dpkg-shlibdeps works out the package's dependencies,
# lintian checks it, man renders the manual page.
PACKAGE_TOOLS=(dpkg-dev lintian man-db)

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

build() {
    local dir=$1
    shift
    # QUOTARIS_WERROR=ON (set by CI) makes every warning an error.
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOTARIS_WERROR="${QUOTARIS_WERROR:-OFF}" "$@" >/dev/null
    cmake --build "$dir"
}

cmd=${1:-run}
[ $# -gt 0 ] && shift
case "$cmd" in
deps)
    install_packages
    ;;
run)
    install_packages
    build build
    exec ./build/quotaris "$@"
    ;;
test)
    install_packages
    build build
    # The tests mostly wait on fake services and child processes: twice as
    # many at once as there are cores keeps the cores busy.
    QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --parallel "$(( $(nproc) * 2 ))"
    ;;
package)
    install_packages "${PACKAGE_TOOLS[@]}"
    build build
    rm -f build/package/quotaris_*.deb
    cpack --config build/CPackConfig.cmake -B build/package
    deb=$(ls build/package/quotaris_*.deb)
    # Errors fail the command; warnings are shown.
    lintian --fail-on error "$deb"
    echo "$deb"
    ;;
format-check)
    install_packages clang-format
    # Every C++ source of the project, laid out as .clang-format says.
    find src tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 |
        xargs -0 clang-format --dry-run --Werror
    echo "format-check: every source file is formatted"
    ;;
sanitize)
    install_packages
    # Line tables are all the sanitizers' reports need, and much cheaper to build.
    build build-asan -DQUOTARIS_SANITIZE=ON -DQUOTARIS_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1
    QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure --parallel "$(( $(nproc) * 2 ))"
    ;;
*)
    echo "usage: $0 run|test|package|sanitize|format-check|deps" >&2
    exit 2
    ;;
esac
