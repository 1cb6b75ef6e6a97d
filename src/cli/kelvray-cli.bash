# bash completion for kelvray-cli
# Offers the choices of a value one a line, quoted for the shell ("Day\ of\ Week").
_kelvray_cli_choices() {
    local IFS=$'\n' word
    COMPREPLY=()
    for word in $(compgen -W "$1" -- "$cur"); do
        COMPREPLY+=("$(printf '%q' "$word")")
    done
}
_kelvray_cli() {
    local cur prev verbs
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    verbs="list show next matches add delete enable disable run runs output status export-ics import-ics export-csv import-csv sync report search --version --help"
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$verbs" -- "$cur"))
        return
    fi
    case $prev in
        --data-dir|--path) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --alarm-file) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --type) _kelvray_cli_choices $'Once\nDay of Week\nDay of Month\nMonthly\nYearly\nCustom'; return ;;
        --task-type) _kelvray_cli_choices $'Run Program\nDisplay Message\nBoth\nNone'; return ;;
        --unit) _kelvray_cli_choices $'minute(s)\nhour(s)\nday(s)\nweek(s)\nmonth(s)\nyear(s)'; return ;;
        --repeat) _kelvray_cli_choices $'Once\nTwice - 1st, 15th\nTwice - 15th, Last'; return ;;
        --shift) _kelvray_cli_choices $'Skip (to Next Valid Day)\nPrevious Day\nNext Day'; return ;;
        --except) _kelvray_cli_choices $'weekends\nweekdays\nholidays'; return ;;
        --table) _kelvray_cli_choices $'schedule\ncontacts\ntodo'; return ;;
    esac
    case ${COMP_WORDS[1]} in
        report)
            if [ "$COMP_CWORD" -eq 2 ] && [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -W "brief-schedule schedule-by-date schedule-by-category schedule-category schedule-checklist contacts categories todo-by-priority todo-by-category" -- "$cur"))
                return
            fi
            [ "$prev" = --pdf ] && { COMPREPLY=($(compgen -f -- "$cur")); return; }
            [ "$prev" = --order ] && { _kelvray_cli_choices $'Date\nCategory\nCategory/Date\nDescription\nTask Type\nAdv. Warn'; return; } ;;
        sync)
            if [[ $cur != -* && " ${COMP_WORDS[*]:2:COMP_CWORD-2} " != *" send "* &&
                  " ${COMP_WORDS[*]:2:COMP_CWORD-2} " != *" receive "* ]]; then
                COMPREPLY=($(compgen -W "send receive" -- "$cur"))
                return
            fi
            if [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -f -- "$cur"))
                return
            fi ;;
        import-ics)
            if [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -f -X '!*.ics' -- "$cur") $(compgen -d -- "$cur"))
                return
            fi ;;
    esac
    local opts="--data-dir"
    local schedule="--type --weekdays --ordinals --month-end --repeat --offset --every --unit --date --time --except --except-time --shift"
    case ${COMP_WORDS[1]} in
        list|show|status) opts="$opts --json" ;;
        runs) opts="$opts --json --task --failed --since --limit" ;;
        next) opts="$opts --json --task --after --count $schedule" ;;
        matches) opts="$opts --on $schedule" ;;
        add) opts="$opts --description --task-type --category --command --path --message --flags --alarm-file --warn-at $schedule" ;;
        export-ics) opts="$opts --days" ;;
        export-csv) opts="$opts --table --fields --picture --header" ;;
        import-csv) opts="$opts --table --map --auto --header" ;;
        report) opts="$opts --from --to --category --order --title --pdf" ;;
        search) opts="$opts --select --json" ;;
    esac
    COMPREPLY=($(compgen -W "$opts" -- "$cur"))
}
complete -F _kelvray_cli kelvray-cli
