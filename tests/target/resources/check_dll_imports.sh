#!/usr/bin/env bash
# Every DLL a launcher image imports must be one Windows loads from System32
# whatever folder the launcher is in: a Known DLL (HKLM\System\
# CurrentControlSet\Control\Session Manager\KnownDLLs), on Windows 7 and on
# Windows 10 and 11 alike. The loader resolves imports before the
# launcher's first line runs, so any other import could be taken from a
# planted copy beside the launcher (a Downloads folder). Libraries the
# launcher loads later come from System32 by full path (system_function).
#   check_dll_imports.sh EXE...
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

# The Known DLLs that Windows 7, 10 and 11 share, in lower case; ntdll.dll
# is always loaded from System32 first.
known=" ntdll.dll advapi32.dll clbcatq.dll comdlg32.dll gdi32.dll imagehlp.dll imm32.dll
kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll
rpcrt4.dll setupapi.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll "

status=0
for exe in "$@"; do
  imports="$(llvm-readobj --coff-imports "$exe" | sed -n 's/^ *Name: \(.*\.dll\)$/\1/Ip' | tr 'A-Z' 'a-z' | sort -u)"
  [ -n "$imports" ] || { echo "FAIL: $exe: no imports read" >&2; status=1; continue; }
  unknown=0
  for dll in $imports; do
    case "$known" in
      *[[:space:]]"$dll"[[:space:]]*) ;;
      *) echo "FAIL: $exe imports $dll, which is not a Known DLL: Windows may load it from the launcher's folder" >&2
         unknown=1 ;;
    esac
  done
  [ "$unknown" -eq 0 ] && echo "$(basename "$exe"): imports $(echo $imports), all Known DLLs" || status=1
done
exit $status
