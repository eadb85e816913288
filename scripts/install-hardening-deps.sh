#!/usr/bin/env bash
# Installs what the sanitizer build and the fuzzers need on top of scripts/install-deps.sh: clang 14
# with its sanitizer and libFuzzer runtimes, and llvm-symbolizer for readable stack traces. Kept
# apart so that `make test` installs only what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

packages=(clang-14 libclang-rt-14-dev llvm-14)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
    echo "install-hardening-deps: missing packages (${missing[*]}) and no apt-get to install them" >&2
    exit 1
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "install-hardening-deps: please install as root: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi

echo "install-hardening-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
