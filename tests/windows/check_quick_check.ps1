# Shows on Windows what Wine cannot: the quick check's record holds each
# file's creation time too, and the record is hidden. Wine reports a file's
# last-write time as its creation time and shows every name that starts
# with a dot as hidden. Not run by CI.
#
# In an ordinary PowerShell, with a launcher made with --quick-check whose
# cache folder is -Folder (a test launcher unpacks into "cache" beside
# itself), and -File a file of its payload other than the main executable:
#   .\check_quick_check.ps1 -Launcher C:\path\app.exe -Folder C:\path\cache -File data\notes.txt
# Prints "PASS" and exits with 0, or names the fault and exits with 1.
param(
    [Parameter(Mandatory = $true)][string]$Launcher,
    [Parameter(Mandatory = $true)][string]$Folder,
    [Parameter(Mandatory = $true)][string]$File
)

$failures = 0
function Fail([string]$What) { Write-Output "FAIL: $What"; $script:failures++ }
function Launch {
    $process = Start-Process -FilePath $Launcher -NoNewWindow -PassThru -Wait
    if ($process.ExitCode -ne 0) { Fail "a launch exited with $($process.ExitCode)" }
}

$path = Join-Path $Folder $File
Launch
$record = Get-Item -LiteralPath (Join-Path $Folder ".qarvel-check") -Force -ErrorAction SilentlyContinue
if ($null -eq $record) { Fail "no check record after a full check" }
elseif (-not ($record.Attributes -band [IO.FileAttributes]::Hidden)) { Fail "the check record is not hidden" }

# The content changed, its size and last-write time kept: the quick check
# does not notice, as documented.
$original = [IO.File]::ReadAllBytes($path)
$item = Get-Item -LiteralPath $path
$written = $item.LastWriteTimeUtc
$changed = [byte[]]$original.Clone()
$changed[0] = $changed[0] -bxor 0xFF
[IO.File]::WriteAllBytes($path, $changed)
(Get-Item -LiteralPath $path).LastWriteTimeUtc = $written
Launch
if ([Linq.Enumerable]::SequenceEqual([byte[]][IO.File]::ReadAllBytes($path), $changed) -eq $false) {
    Fail "a change with every listed field kept was noticed; the quick check opened the file"
}
# Now its creation time moves too: the launch checks in full and writes the
# file anew.
(Get-Item -LiteralPath $path).CreationTimeUtc = $written.AddDays(-3)
Launch
if (-not [Linq.Enumerable]::SequenceEqual([byte[]][IO.File]::ReadAllBytes($path), [byte[]]$original)) {
    Fail "a file whose creation time changed was not checked in full"
}

if ($failures -eq 0) { Write-Output "PASS"; exit 0 }
exit 1
