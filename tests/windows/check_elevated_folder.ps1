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
param(
    [Parameter(Mandatory = $true)][string]$Folder,
    [string]$Launcher,
    [string]$Main = "main.exe",
    [switch]$Prepare
)

$identity = [Security.Principal.WindowsIdentity]::GetCurrent()
$elevated = ([Security.Principal.WindowsPrincipal]$identity).IsInRole(
    [Security.Principal.WindowsBuiltInRole]::Administrator)

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
