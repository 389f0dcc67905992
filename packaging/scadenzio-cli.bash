# bash completion for scadenzio-cli: its commands, their sub-commands and options, the
# values an option takes from a short list, and file names where a file is asked for.
# Self-contained: works without the bash-completion helpers.

_scadenzio_cli_subcommands()
{
    case $1 in
        dunning) echo "list pdf send suspend resume run runs" ;;
        schedule) echo "install remove status" ;;
        mail) echo "test" ;;
        report) echo "issued" ;;
        letters) echo "preview log" ;;
        pec) echo "receipts status" ;;
        import) echo "clients invoices restore" ;;
    esac
}

_scadenzio_cli_options()
{
    case "$1 $2" in
        "dunning list") echo "--per-client --client --xlsx --csv" ;;
        "dunning pdf" | "dunning send") echo "--per-client" ;;
        "dunning suspend") echo "--client --credit --fino --motivo" ;;
        "dunning resume") echo "--client --credit" ;;
        "dunning run") echo "--per-client --per-document --send --pdf-only --dry-run --timer" ;;
        "dunning runs") echo "--last" ;;
        "schedule install") echo "--at --per-client --pdf-only" ;;
        "report issued") echo "--elenco --dal --al --tipo --cliente --pdf --xlsx --csv" ;;
        "letters preview") echo "--pdf" ;;
        "letters log") echo "--credit --client --dal --al --xlsx --csv" ;;
        "import clients" | "import invoices") echo "--delimiter --map" ;;
        interest\ *) echo "--al" ;;
        migrate\ *) echo "--to --from --file" ;;
    esac
}

_scadenzio_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="--version upgrade sql dunning schedule mail report letters pec interest demo import migrate"
    COMPREPLY=()

    if [[ $COMP_CWORD -eq 1 ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        return
    fi

    local command=${COMP_WORDS[1]}
    local subs
    subs=$(_scadenzio_cli_subcommands "$command")
    if [[ $COMP_CWORD -eq 2 && -n $subs ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$subs" -- "$cur")
        return
    fi
    local sub=""
    [[ -n $subs ]] && sub=${COMP_WORDS[2]}

    case $prev in
        --xlsx | --csv | --pdf | --file)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return ;;
        --tipo)
            mapfile -t COMPREPLY < <(compgen -W "Tutte Preavviso Sollecito1 Sollecito2 Sollecito3" -- "$cur")
            return ;;
        --elenco)
            mapfile -t COMPREPLY < <(compgen -W "ultime tutte" -- "$cur")
            return ;;
        --delimiter)
            mapfile -t COMPREPLY < <(compgen -W "';' ',' tab" -- "$cur")
            return ;;
        --to | --from)
            mapfile -t COMPREPLY < <(compgen -W "postgresql://" -- "$cur")
            compopt -o nospace 2>/dev/null
            return ;;
        --client | --credit | --fino | --motivo | --dal | --al | --cliente | --last | --at | --map)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_scadenzio_cli_options "$command" "$sub")" -- "$cur")
        return
    fi

    case "$command $sub" in
        "letters preview")
            mapfile -t COMPREPLY < <(compgen -W "PREAVVISO SOLLECITO1 SOLLECITO2 SOLLECITO3 GENERICA" -- "$cur") ;;
        "import clients" | "import invoices" | "pec receipts")
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
    esac
}

complete -F _scadenzio_cli scadenzio-cli
