# bash completion for corvane-copy: Robocopy's switches in their letter case
# (/mi completes to /MIR), the letters after /COPY: and the other letter
# switches, files after /LOG: and the other switches that name one, folders
# after /SD: and /DD:, and paths. A Linux path starts with "/" as a switch
# does, so both are offered. Needs nothing of the bash-completion package.

# Switches as the usage (corvane-copy /?) lists them; a colon: a value follows.
_corvane_copy_switches=(
  /S /E /LEV: /Z /B /ZB /J /EFSRAW /COPY: /COPYALL /SEC /NOCOPY /SECFIX /TIMFIX
  /DCOPY: /NODCOPY /NOOFFLOAD /NOCLONE /COMPRESS /SPARSE /PURGE /MIR /MOV /MOVE
  /A+: /A-: /CREATE /FAT /256 /MON: /MOT: /RH: /PF /IPG: /SL /SJ /A /M /IA: /XA:
  /XF /XD /IF /XJ /XJD /XJF /XC /XN /XO /XX /XL /IS /IT /MAX: /MIN: /MAXAGE:
  /MINAGE: /MAXLAD: /MINLAD: /FFT /DST /IM /LFSM: /IOMAXSIZE: /IORATE: /THRESHOLD:
  /R: /W: /REG /TBD /L /X /V /TS /FP /BYTES /NS /NC /NFL /NDL /NP /ETA /UNICODE
  /LOG: /LOG+: /UNILOG: /UNILOG+: /TEE /NJH /NJS /JOB: /SAVE: /QUIT /NOSD /NODD
  /SD: /DD: /MT /MT: /?
)

_corvane_copy()
{
  # The word under the cursor, whole: bash itself splits it at ":".
  local line=${COMP_LINE:0:COMP_POINT} cur=
  while [ -n "$line" ] && [[ ${line: -1} != [[:space:]] || ${line: -2:1} == \\ ]]; do
    cur=${line: -1}$cur
    line=${line:0:${#line}-1}
  done
  cur=${cur//\\ / }

  local candidates=() paths=() name=${cur%%:*} value=${cur#*:} letters= s
  if [[ $cur == -* ]]; then
    for s in --help --version -h; do
      [[ $s == "$cur"* ]] && candidates+=("$s")
    done
  elif [[ $cur == /*:* ]]; then
    case ${name^^} in
      /COPY) letters=DATSOUX ;;
      /DCOPY) letters=DATEX ;;
      /A+ | /A-) letters=RASHCNET ;;
      /IA | /XA) letters=RASHCNETO ;;
      /LOG | /LOG+ | /UNILOG | /UNILOG+ | /JOB | /SAVE) mapfile -t paths < <(compgen -f -- "$value") ;;
      /SD | /DD) mapfile -t paths < <(compgen -d -- "$value") ;;
    esac
    # Each letter not yet given, after those given.
    for ((s = 0; s < ${#letters}; s++)); do
      [[ ${value^^} == *"${letters:s:1}"* ]] || candidates+=("$cur${letters:s:1}")
    done
    if [ -n "$letters" ]; then
      [ ${#candidates[@]} -gt 0 ] || candidates=("$cur")
      compopt -o nospace 2>/dev/null
    fi
    [ ${#paths[@]} -eq 0 ] || candidates=("${paths[@]/#/$name:}")
  else
    if [[ $cur == /* ]]; then
      for s in "${_corvane_copy_switches[@]}"; do
        [[ $s == "${cur^^}"* ]] && candidates+=("$s")
      done
    fi
    mapfile -t paths < <(compgen -f -- "$cur")
    candidates+=("${paths[@]}")
  fi
  # Folders get their slash from bash; a switch that takes a value no blank.
  [ ${#paths[@]} -eq 0 ] || compopt -o filenames 2>/dev/null
  [[ ${#candidates[@]} -eq 1 && $candidates == /*: ]] && compopt -o nospace 2>/dev/null

  # Bash replaces only what follows the word's last ":".
  if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
    local before=${cur%"${cur##*:}"}
    candidates=("${candidates[@]#"$before"}")
  fi
  COMPREPLY=("${candidates[@]}")
}
complete -F _corvane_copy corvane-copy
