# bash completion for diskarno: the verbs and each verb's options, read from
# the tool's own help so that they follow the tool; files for the operands
# and for the options that take a path.
_diskarno() {
  local tool=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local words
  COMPREPLY=()
  if [ "$COMP_CWORD" -eq 1 ]; then
    words="$("$tool" --help 2>/dev/null |
      sed -n 's/^\(Usage:\)\{0,1\} *diskarno \([a-z][a-z]*\) .*/\2/p') --help --version"
  else
    case $prev in
      -o | --stub | --password-file) ;;  # a path
      --password | --description | --media-type) return ;;  # typed
      *)
        if [[ $cur == -* ]]; then
          words="$("$tool" "${COMP_WORDS[1]}" --help 2>/dev/null |
            sed -n 's/^  \(-[-a-z]*\).*/\1/p') --help --version"
        fi
        ;;
    esac
  fi
  if [ -n "${words:-}" ]; then
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
  else
    # Images, programs and drives (/dev/fd0) alike.
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -o filenames -F _diskarno diskarno
