# Bash completion for mksfx: commands, each command's options, and files.
_mksfx()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "create convert list test extract --help --version" -- "$cur"))
        return
    fi
    case $prev in
        -C|--directory|-d)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        -o|--output|--stub|--password-file)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        -P|--password|--mtime|--level|--offset)
            return ;;
    esac
    local options="-q --quiet -v --verbose -h --help"
    case ${COMP_WORDS[1]} in
        create) options+=" -o --output -C --directory -0 -1 -2 -3 -4 -5 -6 -7 -8 -9 --level --store -P --password
                          -e --password-prompt --password-file --mtime --stub" ;;
        convert) options+=" -o --output -P --password --password-file --skip-unsupported --stub" ;;
        list) options+=" --offset" ;;
        test) options+=" -P --password --password-file --offset" ;;
        extract) options+=" -d --directory -j --junk-paths --overwrite --skip-existing -P --password
                           --password-file --offset" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _mksfx mksfx
