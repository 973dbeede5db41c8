# Bash completion of the pelmo command: its subcommands, their options, the method names (asked of
# `pelmo methods`, so they are always the command's own) and the argument words.

_pelmo_methods() {
  # The second field of each line; the page hooks cannot be called by name.
  "$1" methods 2>/dev/null | while read -r _ name _; do
    case $name in OnStartPage | OnEndPage) ;; *) printf '%s\n' "$name" ;; esac
  done
}

_pelmo() {
  local command=${COMP_WORDS[0]} sub=${COMP_WORDS[1]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  # Bash splits words at colons too; the argument word being typed (s:..., sf:...) is everything
  # since the last blank, and the answers are given from its last colon on.
  local cur=${COMP_LINE:0:COMP_POINT} i method=
  cur=${cur##*[[:blank:]]}
  COMPREPLY=()
  if ((COMP_CWORD == 1)); then
    mapfile -t COMPREPLY < <(compgen -W 'call batch methods demo help info probe --help --version' -- "$cur")
    return
  fi
  case $sub in
    call | batch)
      [[ $prev == --request-method ]] && return
      # The method is the first word after the options; call takes argument words after it.
      for ((i = 2; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
          --request-method) ((i++)) ;;
          -*) ;;
          *) method=${COMP_WORDS[i]} && break ;;
        esac
      done
      if [[ -z $method && $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--no-page --request-method' -- "$cur")
      elif [[ $sub == call && -z $method ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_pelmo_methods "$command")" -- "$cur")
      elif [[ $sub == call && ($cur == sf:* || $cur == xf:*) ]]; then
        mapfile -t COMPREPLY < <(compgen -f -P "${cur:0:3}" -- "${cur:3}")
      elif [[ $sub == call ]]; then
        mapfile -t COMPREPLY < <(compgen -W 'empty null s: u: sf: n: i: l: b:true b:false x: xf:' \
          -- "$cur")
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *: ]] && compopt -o nospace
      fi
      ;;
    probe)
      if [[ $prev == --prometheus ]]; then
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      elif [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--json --plugin --prometheus' -- "$cur")
      else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      fi
      ;;
    methods)
      ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W '--text' -- "$cur")
      ;;
    info)
      ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W '--json' -- "$cur")
      ;;
    help)
      ((COMP_CWORD == 2)) &&
        mapfile -t COMPREPLY < <(compgen -W "$(_pelmo_methods "$command")" -- "$cur")
      ;;
  esac
  if [[ $cur == *:* ]]; then
    COMPREPLY=("${COMPREPLY[@]#"${cur%"${cur##*:}"}"}")
  fi
}

complete -F _pelmo pelmo
