# bash completion for mapgenerator-cli                     -*- shell-script -*-

_mapgenerator_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'generate check-data verify preview import new-world expand-edges help
            --help --version' -- "$cur"))
        return
    fi

    # Each command's options; values complete by what the option takes.
    local options
    case ${words[1]} in
        generate)
            options='--data --terrain --altitude --dest --random-art --structures --seed
                --quiet --preview --no-wait'
            ;;
        check-data) options='--data --terrain --altitude --json --write-missing --force' ;;
        verify) options='--dest --map --blocks-high' ;;
        preview) options='--dest --data --terrain --out --scale --map --blocks-high --unmatched' ;;
        import)
            options='--dest --data --out --map --blocks-high --palette-from --force --json'
            ;;
        new-world) options='--out --size --seed --force' ;;
        expand-edges) options='--edges --out --terrain --force' ;;
        *) return ;;
    esac

    case $prev in
        --data | --dest)
            _filedir -d
            return
            ;;
        --terrain | --altitude | --palette-from)
            _filedir '@(png|bmp|gif|tif|tiff)'
            return
            ;;
        --structures | --edges | --write-missing)
            _filedir xml
            return
            ;;
        --preview)
            _filedir png
            return
            ;;
        --out)
            case ${words[1]} in
                new-world | expand-edges | import) _filedir -d ;;
                *) _filedir png ;;
            esac
            return
            ;;
        --seed | --size | --scale | --map | --blocks-high)
            return
            ;;
    esac
    $split && return

    COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
} &&
    complete -F _mapgenerator_cli mapgenerator-cli
