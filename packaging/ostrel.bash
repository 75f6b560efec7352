# bash completion for ostrel: the options before the file, then WAV files
# (and - for standard input); nothing is offered for the times and numbers.
_ostrel() {
  local cur=${COMP_WORDS[COMP_CWORD]} i file_at=0
  # The file is the first word after the options (or after --).
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --) file_at=$((i + 1)); break ;;
      --json | -h | --help | -V | --version) ;;
      *) file_at=$i; break ;;
    esac
  done
  if [ "$file_at" -eq 0 ] && [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '--json --help --version --' -- "$cur"))
  elif [ "$file_at" -eq 0 ] || [ "$file_at" -eq "$COMP_CWORD" ]; then
    compopt -o filenames 2> /dev/null
    COMPREPLY=($(compgen -f -X '!*.@(wav|WAV|wave|WAVE|rf64|RF64|bw64|BW64)' -- "$cur") $(compgen -d -- "$cur"))
  fi
}
complete -F _ostrel ostrel
