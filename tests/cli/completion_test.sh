#!/usr/bin/env bash
# Completes tamsel command lines as bash does (COMP_WORDS, COMP_CWORD, the
# completion function) and checks what is offered.
# usage: completion_test.sh COMPLETION_SCRIPT TOOL
set -u
source "$1"
tool=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/lists" "$dir/lists-two" "$dir/other"
printf 'a.example\r\nb.example\r\nc.example\r\n' >"$dir/lists/UserBlock.txt"
printf 'x.example\r\n' >"$dir/lists/UserTrust.txt"
touch "$dir/list-file"

failures=0
# expect WANT WORD...: the last WORD is the one being completed; WANT is the
# offers, sorted, on one line.
expect() {
    local want=$1
    shift
    COMP_WORDS=("$tool" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _tamsel
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | paste -sd' ')
    if [[ $got != "$want" ]]; then
        echo "FAIL: tamsel $* -> [$got], wanted [$want]"
        failures=$((failures + 1))
    fi
}

# Commands and their words.
expect "check" ch
# Every command the tool lists is offered, and nothing else.
commands=$("$tool" --help | sed -n 's/^  \([a-z-]*\) .*/\1/p' | sort | paste -sd' ')
expect "--help $commands" ''
expect "rpz" export --format r
expect "--format --help --lists --output --report" export --
expect "import inspect" i
expect "allow" al
expect "off on" allow o
expect "--follow" log --f
expect "--help --lists --report" import --
# List names and actions, around --lists and its folder.
expect "black" list b
expect "--lists black white" list ''
expect "black white" list --lists "$dir/lists" ''
expect "add delete edit" list black ''
expect "add delete edit" list --lists "$dir/lists" white ''
expect "delete" list black --lists "$dir/lists" d
# Entry numbers, as the tool shows the list of that folder.
expect "1 2 3" list --lists "$dir/lists" black delete ''
expect "1 2 3" list black --lists "$dir/lists" edit ''
expect "1" list --lists "$dir/lists" white edit ''
expect "" list --lists "$dir/other" black delete ''
expect "--yes" list --lists "$dir/lists" black delete 2 --
# The --lists folder: folders only.
expect "$dir/lists $dir/lists-two" check --lists "$dir/li"
expect "$dir/lists $dir/lists-two" list --lists "$dir/li"
# What run starts is a command.
expect "true" run true
expect "-- --help --log" run --

if ((failures > 0)); then
    echo "$failures completions wrong"
    exit 1
fi
echo "all completions as expected"
