# Bash completion for tamsel: commands, options, list names, the --lists
# folder, and the entry numbers of "list ... edit/delete", which the tool
# itself lists (so they are the numbers the command will act on).

# The words of the command line before the current one, after the command.
_tamsel_words_before() {
    ((COMP_CWORD > 2)) && printf '%s\n' "${COMP_WORDS[@]:2:COMP_CWORD-2}"
}

# The --lists option of the command line, to hand on to the tool.
_tamsel_lists_option() {
    local i
    for ((i = 2; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == --lists && $((i + 1)) -lt COMP_CWORD ]]; then
            printf '%s\n' --lists "${COMP_WORDS[i + 1]}"
        elif [[ ${COMP_WORDS[i]} == --lists=* ]]; then
            printf '%s\n' "${COMP_WORDS[i]}"
        fi
    done
}

# Entry numbers as "tamsel list black|white" shows them.
_tamsel_entry_numbers() {
    local name=$1 options
    mapfile -t options < <(_tamsel_lists_option)
    "${COMP_WORDS[0]}" list "$name" "${options[@]}" 2>/dev/null | sed -n 's/^ *\([0-9][0-9]*\)  .*/\1/p'
}

_tamsel_list() {
    local cur=$1 name="" action="" word count=0
    while IFS= read -r word; do
        case $word in
            --yes | -y | --lists=* | --) continue ;;
        esac
        count=$((count + 1))
        if ((count == 1)); then name=$word; elif ((count == 2)); then action=$word; fi
    done < <(_tamsel_words_before | awk 'drop { drop = 0; next } $0 == "--lists" { drop = 1; next } { print }')
    case $count in
        0) local offers="black white"
           [[ -z $(_tamsel_lists_option) ]] && offers+=" --lists"
           mapfile -t COMPREPLY < <(compgen -W "$offers" -- "$cur") ;;
        1) mapfile -t COMPREPLY < <(compgen -W "add edit delete" -- "$cur") ;;
        2) if [[ $action == edit || $action == delete ]]; then
               mapfile -t COMPREPLY < <(compgen -W "$(_tamsel_entry_numbers "$name")" -- "$cur")
           fi ;;
        3) [[ $action == delete ]] && mapfile -t COMPREPLY < <(compgen -W "--yes" -- "$cur") ;;
    esac
}

_tamsel() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "check inspect run list import export squid-helper log allow --help" -- "$cur")
        return
    fi
    case $prev in
        --lists)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        --format)
            mapfile -t COMPREPLY < <(compgen -W "rpz unbound dnsmasq hosts" -- "$cur")
            return ;;
        --log | --report | --output)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return ;;
    esac
    case ${COMP_WORDS[1]} in
        list) _tamsel_list "$cur" ;;
        allow) ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W "on off status" -- "$cur") ;;
        check | squid-helper) mapfile -t COMPREPLY < <(compgen -W "--lists --help" -- "$cur") ;;
        export) mapfile -t COMPREPLY < <(compgen -W "--format --lists --output --report --help" -- "$cur") ;;
        inspect | import | log)
            local options="--lists --help"
            [[ ${COMP_WORDS[1]} == import ]] && options="--lists --report --help"
            [[ ${COMP_WORDS[1]} == log ]] && options="--follow --summary --help"
            if [[ $cur == -* ]]; then
                mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
            else
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            fi ;;
        run)
            if ((COMP_CWORD == 2)) && [[ $cur == -* ]]; then
                mapfile -t COMPREPLY < <(compgen -W "--log -- --help" -- "$cur")
            elif ((COMP_CWORD == 2)) || [[ $prev == -- && COMP_CWORD -eq 3 ]] ||
                [[ ${COMP_WORDS[2]} == --log && COMP_CWORD -eq 4 ]]; then
                mapfile -t COMPREPLY < <(compgen -c -- "$cur" | sort -u)
            else
                compopt -o default 2>/dev/null
            fi ;;
    esac
}

complete -F _tamsel tamsel
