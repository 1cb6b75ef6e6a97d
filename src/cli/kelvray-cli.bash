# bash completion for kelvray-cli
_kelvray_cli() {
    local cur prev verbs
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    verbs="list show next matches add delete enable disable run export-ics import-ics --version --help"
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$verbs" -- "$cur"))
        return
    fi
    case $prev in
        --data-dir|--path) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --type) COMPREPLY=($(compgen -W "Once 'Day of Week' 'Day of Month' Monthly Yearly Custom" -- "$cur")); return ;;
        --task-type) COMPREPLY=($(compgen -W "'Run Program' 'Display Message' Both" -- "$cur")); return ;;
        --unit) COMPREPLY=($(compgen -W "'minute(s)' 'hour(s)' 'day(s)' 'week(s)' 'month(s)' 'year(s)'" -- "$cur")); return ;;
    esac
    case ${COMP_WORDS[1]} in
        import-ics)
            if [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -f -X '!*.ics' -- "$cur") $(compgen -d -- "$cur"))
                return
            fi ;;
    esac
    local opts="--data-dir"
    case ${COMP_WORDS[1]} in
        list|show) opts="$opts --json" ;;
        next) opts="$opts --json --task --after --count --type --weekdays --ordinals --month-end --repeat --offset --every --unit --date --time" ;;
        matches) opts="$opts --on --type --weekdays --ordinals --month-end --repeat --offset --every --unit --date --time" ;;
        add) opts="$opts --description --task-type --category --command --path --message --flags --type --weekdays --ordinals --month-end --repeat --offset --every --unit --date --time" ;;
        export-ics) opts="$opts --days" ;;
    esac
    COMPREPLY=($(compgen -W "$opts" -- "$cur"))
}
complete -F _kelvray_cli kelvray-cli
