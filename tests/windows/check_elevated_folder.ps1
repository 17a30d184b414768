# Shows on Windows what Wine cannot: a program without administrator rights
# cannot change the folder an elevated launcher runs from. Not run by CI.
#
# 1. In a PowerShell started with "Run as administrator", run the launcher
#    once so that it makes its folder, then look at the folder's rights:
#      .\check_elevated_folder.ps1 -Prepare -Launcher C:\path\app.exe `
#          -Folder "C:\Program Files\Company\Product\1.0"
# 2. In an ordinary PowerShell of the same user, try to change the folder:
#      .\check_elevated_folder.ps1 -Folder "C:\Program Files\Company\Product\1.0" -Main app.exe
#    Each attempt must print "denied"; the script exits with 1 otherwise.
# 3. In an administrator PowerShell again, with a launcher built WITHOUT
#    --elevated (same company, product and version) whose application is the
#    tests' echo child, or any program that prints its current folder:
#      .\check_elevated_folder.ps1 -RunAsAdministrator -Launcher C:\path\app.exe `
#          -Folder "C:\Program Files\Company\Product\1.0"
#    The token, not the manifest, makes the launch elevated: it must unpack
#    into -Folder (not into %LOCALAPPDATA%), start its child there, and pass
#    the caller's folder in QARVEL_ONEFILE_CALLER_DIRECTORY. Then, with
#    -SubFolder naming a folder of the payload, the script opens it to
#    Users: the next launch must refuse it. Last it opens -Main to Users:
#    the next launch must replace it by a file with protected rights.
# 4. Optionally, with a USB stick as E: (NTFS-formatted), in the same
#    administrator PowerShell, a launcher built with
#    --target-spec "E:\qarvel-check" --elevated:
#      .\check_elevated_folder.ps1 -RemovableDisk -Launcher C:\path\usb.exe
#    It must refuse "is a removable, USB or hot-pluggable disk".
param(
    [string]$Folder,
    [string]$Launcher,
    [string]$Main = "main.exe",
    [switch]$Prepare,
    [switch]$RunAsAdministrator,
    [string]$SubFolder,
    [switch]$RemovableDisk
)

$identity = [Security.Principal.WindowsIdentity]::GetCurrent()
$elevated = ([Security.Principal.WindowsPrincipal]$identity).IsInRole(
    [Security.Principal.WindowsBuiltInRole]::Administrator)

function Fail([string]$Why) { Write-Output "FAIL: $Why"; exit 1 }

if ($RemovableDisk) {
    if (-not $elevated) { Write-Error "run -RemovableDisk as administrator"; exit 2 }
    $output = & $Launcher 2>&1 | Out-String
    if ($LASTEXITCODE -ne 2 -or $output -notmatch "is a removable, USB or hot-pluggable disk") {
        Fail "the launcher did not refuse the removable disk: exit $LASTEXITCODE, $output"
    }
    Write-Output "the removable disk was refused"
    exit 0
}

if ($RunAsAdministrator) {
    if (-not $elevated) { Write-Error "run -RunAsAdministrator as administrator"; exit 2 }
    $caller = Join-Path $env:TEMP "qarvel-caller"
    New-Item -ItemType Directory -Force -Path $caller | Out-Null
    Push-Location $caller
    try { $report = & $Launcher | Out-String } finally { Pop-Location }
    if (-not (Test-Path -LiteralPath (Join-Path $Folder $Main))) {
        Fail "an elevated launch of an asInvoker launcher did not unpack into $Folder"
    }
    if ($report -notmatch [regex]::Escape("cwd=$Folder")) { Fail "the child did not start in $Folder" }
    if ($report -notmatch [regex]::Escape("QARVEL_ONEFILE_CALLER_DIRECTORY=$caller")) {
        Fail "the child was not told the caller's folder"
    }

    # A folder of the payload opened to users is refused (-SubFolder names
    # one, "lib" say, when the payload has files in folders).
    if ($SubFolder) {
        $sub = Join-Path $Folder $SubFolder
        & icacls.exe $sub /grant "*S-1-5-32-545:(OI)(CI)M" | Out-Null
        $output = & $Launcher 2>&1 | Out-String
        $refused = $LASTEXITCODE -eq 2 -and $output -match "lets programs without administrator rights change it"
        & icacls.exe $sub /remove:g "*S-1-5-32-545" | Out-Null
        if (-not $refused) { Fail "a folder opened to Users was not refused: exit $LASTEXITCODE, $output" }
        Write-Output "a folder opened to Users was refused"
    }

    # A payload file opened to users is replaced by a protected one.
    $main = Join-Path $Folder $Main
    & icacls.exe $main /grant "*S-1-5-32-545:M" | Out-Null
    & $Launcher | Out-Null
    $rights = (Get-Acl -LiteralPath $main).AccessToString
    if ($rights -match "BUILTIN\\Users Allow  Modify") { Fail "$Main still lets Users change it: $rights" }
    Write-Output "a payload file opened to Users was replaced: $rights"
    exit 0
}

if (-not $Folder) { Write-Error "give -Folder"; exit 2 }

if ($Prepare) {
    if (-not $elevated) { Write-Error "run -Prepare as administrator"; exit 2 }
    & $Launcher
    if (-not (Test-Path -LiteralPath (Join-Path $Folder $Main))) {
        Write-Error "the launcher did not unpack $Main into $Folder"; exit 1
    }
    Get-Acl -LiteralPath $Folder | Format-List Owner, AccessToString
    exit 0
}

if ($elevated) { Write-Error "run this step from an ordinary, unelevated PowerShell"; exit 2 }

$allowed = 0
function Attempt([string]$What, [scriptblock]$Action) {
    try {
        & $Action
        Write-Output "ALLOWED: $What"
        $script:allowed++
    } catch {
        Write-Output "denied: $What ($($_.Exception.Message))"
    }
}

Attempt "add version.dll beside $Main" {
    New-Item -ItemType File -Path (Join-Path $Folder "version.dll") -ErrorAction Stop | Out-Null
}
Attempt "replace $Main" {
    Copy-Item -LiteralPath "$env:SystemRoot\System32\whoami.exe" -Destination (Join-Path $Folder $Main) -Force -ErrorAction Stop
}
Attempt "write into $Main" {
    $stream = [IO.File]::Open((Join-Path $Folder $Main), 'Open', 'ReadWrite')
    $stream.Close()
}
Attempt "take the cache lock file" {
    $stream = [IO.File]::Open((Join-Path $Folder ".qarvel-lock"), 'Open', 'Read', 'ReadWrite, Delete')
    $stream.Close()
}
Attempt "rename the folder" {
    Rename-Item -LiteralPath $Folder -NewName ((Split-Path $Folder -Leaf) + "-moved") -ErrorAction Stop
}
Attempt "give this user full control of the folder" {
    & icacls.exe $Folder /grant "$($identity.Name):(OI)(CI)F" | Out-Null
    if ($LASTEXITCODE -ne 0) { throw "icacls exited with $LASTEXITCODE" }
}

if ($allowed -ne 0) { Write-Output "FAIL: $allowed attempt(s) succeeded"; exit 1 }
Write-Output "every attempt was denied"
