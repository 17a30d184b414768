# Shows on Windows what Wine cannot: a handle that anyone who may list a
# cache folder can open on its lock file (attributes alone, sharing
# everything, as an indexer or a backup agent does) holds no launch up.
# Windows keeps a file deleted on close pending deletion while such a handle
# is open, and refuses every new open of it; Wine deletes it and opens it
# anew. Not run by CI.
#
# In an ordinary PowerShell, with a launcher whose cache folder is -Folder
# (a test launcher unpacks into "cache" beside itself):
#   .\check_lock_file_kept.ps1 -Launcher C:\path\app.exe -Folder C:\path\cache -Main main.exe
# Prints "PASS" and exits with 0, or names the fault and exits with 1.
param(
    [Parameter(Mandatory = $true)][string]$Launcher,
    [Parameter(Mandatory = $true)][string]$Folder,
    [string]$Main = "main.exe",
    [int]$Launches = 4,
    [int]$TimeoutSeconds = 60
)

Add-Type -Namespace QarvelCheck -Name Native -MemberDefinition @'
[DllImport("kernel32.dll", CharSet = CharSet.Unicode, SetLastError = true)]
public static extern Microsoft.Win32.SafeHandles.SafeFileHandle CreateFileW(
    string name, uint access, uint share, IntPtr security, uint disposition, uint flags,
    IntPtr template);
'@

$lock = Join-Path $Folder ".qarvel-lock"
$failures = 0
function Fail([string]$What) { Write-Output "FAIL: $What"; $script:failures++ }

# Launches that must write (main.exe removed first), started together; each
# must end within the time limit and with status 0.
function Launch-All([string]$What) {
    Remove-Item -LiteralPath (Join-Path $Folder $Main) -Force -ErrorAction SilentlyContinue
    $processes = 1..$Launches | ForEach-Object {
        Start-Process -FilePath $Launcher -ArgumentList "$What-$_" -NoNewWindow -PassThru
    }
    foreach ($process in $processes) {
        if (-not $process.WaitForExit($TimeoutSeconds * 1000)) {
            Fail "$What`: a launch still waits after $TimeoutSeconds s"
            $process.Kill()
        } elseif ($process.ExitCode -ne 0) {
            Fail "$What`: a launch exited with $($process.ExitCode)"
        }
    }
}

function Expect-Kept([string]$When) {
    $item = Get-Item -LiteralPath $lock -Force -ErrorAction SilentlyContinue
    if ($null -eq $item) { Fail "$When`: no lock file"; return }
    if (-not ($item.Attributes -band [IO.FileAttributes]::Hidden)) { Fail "$When`: the lock file is not hidden" }
    if ($item.Length -ne 0) { Fail "$When`: the lock file holds $($item.Length) bytes" }
}

Launch-All "first"
Expect-Kept "after the first launches"

# FILE_READ_ATTRIBUTES, FILE_SHARE_READ | WRITE | DELETE, OPEN_EXISTING.
$handle = [QarvelCheck.Native]::CreateFileW($lock, 0x80, 7, [IntPtr]::Zero, 3, 0, [IntPtr]::Zero)
if ($handle.IsInvalid) {
    Fail "the lock file cannot be opened for its attributes (error $([Runtime.InteropServices.Marshal]::GetLastWin32Error()))"
} else {
    # The second round starts after the first has closed every handle of
    # its own: a lock file deleted on close would be pending deletion.
    Launch-All "held-open"
    Launch-All "held-open-again"
    Expect-Kept "with a handle on it open"
    $handle.Close()
}
Launch-All "after"
Expect-Kept "after every handle closed"

if ($failures -ne 0) { exit 1 }
Write-Output "PASS: every launch finished; the lock file stayed hidden and empty"
