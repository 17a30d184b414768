# What Wine cannot show of the Windows qarvel-pack, for a Windows machine:
# junctions and symbolic links (Wine 8 makes no junction), a file held
# without read sharing, folders deeper than 260 units, a name with an
# unpaired surrogate, an output held open by a running program, the default
# thread count under an affinity.
#   powershell -ExecutionPolicy Bypass -File packer_checks.ps1 C:\path\to\qarvel-pack.exe
param([Parameter(Mandatory = $true)][string]$Pack)
$ErrorActionPreference = 'Stop'
$work = Join-Path ([IO.Path]::GetTempPath()) ("qarvel-checks-" + [guid]::NewGuid())
$failures = 0
function Fail($what) { Write-Host "FAIL: $what"; $script:failures++ }
function Pack([string[]]$arguments) {
    $output = & $Pack @arguments 2>&1 | Out-String
    return @{ Code = $LASTEXITCODE; Text = $output.Trim() }
}
function Expect-Refusal($name, $result, $needle) {
    if ($result.Code -ne 1) { Fail "$name exits with $($result.Code)" }
    if (($result.Text -split "`n").Count -ne 1) { Fail "$name says more than one line: $($result.Text)" }
    if (-not $result.Text.Contains($needle)) { Fail "$name does not name '$needle': $($result.Text)" }
}

$app = Join-Path $work 'app'
New-Item -ItemType Directory -Force (Join-Path $app 'bin'), (Join-Path $app 'lib') | Out-Null
# qarvel-pack checks that the main executable is a Windows program.
Copy-Item (Join-Path $env:SystemRoot 'System32\whoami.exe') (Join-Path $app 'bin\app.exe')
Set-Content (Join-Path $app 'lib\real.dll') 'dll'
$outside = Join-Path $work 'outside'
New-Item -ItemType Directory -Force $outside | Out-Null

# A junction inside the folder is followed; one leading out is refused.
cmd /c mklink /J (Join-Path $app 'libs') (Join-Path $app 'lib') | Out-Null
$r = Pack @('create', $app, '--main', 'bin\app.exe', '-o', (Join-Path $work 'a.qpk'), '-q')
if ($r.Code -ne 0) { Fail "a junction inside: $($r.Text)" }
cmd /c mklink /J (Join-Path $app 'out') $outside | Out-Null
$r = Pack @('create', $app, '--main', 'bin\app.exe', '-o', (Join-Path $work 'b.qpk'))
Expect-Refusal 'a junction leading out' $r 'leads out of the folder'
Remove-Item (Join-Path $app 'out')
# A junction back to the folder above it is refused, not followed forever.
cmd /c mklink /J (Join-Path $app 'lib\loop') $app | Out-Null
$r = Pack @('create', $app, '--main', 'bin\app.exe', '-o', (Join-Path $work 'c.qpk'))
Expect-Refusal 'a junction looping back' $r 'leads back into a folder above it'
Remove-Item (Join-Path $app 'lib\loop')

# extract writes nothing through a junction below its folder, and says so.
$dest = Join-Path $work 'extracted'
New-Item -ItemType Directory -Force $dest | Out-Null
cmd /c mklink /J (Join-Path $dest 'lib') $outside | Out-Null
$r = Pack @('extract', (Join-Path $work 'a.qpk'), '-o', $dest)
Expect-Refusal 'extract through a junction' $r 'extracted/lib is a link'
if (-not $r.Text.StartsWith('qarvel-pack: error: ')) { Fail "extract through a junction: $($r.Text)" }
if (Get-ChildItem $outside) { Fail 'extract wrote through a junction' }
Remove-Item (Join-Path $dest 'lib')

# A file held open without read sharing is refused, named.
$held = [IO.File]::Open((Join-Path $app 'lib\real.dll'), 'Open', 'Read', 'None')
$r = Pack @('create', $app, '--main', 'bin\app.exe', '-o', (Join-Path $work 'd.qpk'))
$held.Close()
Expect-Refusal 'a file held without read sharing' $r 'lib/real.dll'

# Hidden and read-only files are packed.
$hidden = Join-Path $app 'hidden.txt'
Set-Content $hidden 'x'
(Get-Item $hidden).Attributes = 'Hidden,ReadOnly'
$r = Pack @('list', (Join-Path $work 'a.qpk'))
$r = Pack @('create', $app, '--main', 'bin\app.exe', '-o', (Join-Path $work 'e.qpk'), '-q')
if (-not (Pack @('list', (Join-Path $work 'e.qpk'))).Text.Contains('hidden.txt')) { Fail 'a hidden file was left out' }

# A folder deeper than 260 units, and a \\?\ path to it.
$deep = $app
while ($deep.Length -lt 300) { $deep = Join-Path $deep 'a-rather-long-folder-name' }
[IO.Directory]::CreateDirectory("\\?\$deep") | Out-Null
[IO.File]::WriteAllText("\\?\$deep\deep.txt", 'deep')
$r = Pack @('create', $app, '--main', 'bin/app.exe', '-o', (Join-Path $work 'f.qpk'), '-q')
if ($r.Code -ne 0) { Fail "a deep folder: $($r.Text)" }
$r = Pack @('create', "\\?\$app", '--main', 'bin/app.exe', '-o', (Join-Path $work 'g.qpk'), '-q')
if ($r.Code -ne 0) { Fail "a \\?\ path: $($r.Text)" }
[IO.Directory]::Delete("\\?\$app\a-rather-long-folder-name", $true)

# A name with an unpaired surrogate is refused in one line.
$bad = Join-Path $app ("bad" + [char]0xD800 + ".txt")
[IO.File]::WriteAllText($bad, 'x')
$r = Pack @('create', $app, '--main', 'bin\app.exe', '-o', (Join-Path $work 'h.qpk'))
Remove-Item -LiteralPath $bad
Expect-Refusal 'an unpaired surrogate' $r 'not a valid UTF-16 name'

# An output a running program holds is named, and no partial file stays.
$target = Join-Path $work 'running.exe'
$r = Pack @('launcher', $app, '--main', 'bin\app.exe', '-o', $target, '-q')
$lock = [IO.File]::Open($target, 'Open', 'Read', 'None')
$r = Pack @('launcher', $app, '--main', 'bin\app.exe', '-o', $target)
$lock.Close()
Expect-Refusal 'an output that cannot be replaced' $r $target
if (Get-ChildItem $work -Filter '*.partial-*') { Fail 'a partial file stayed behind' }

# The default thread count follows the processors the process may use
# (GetProcessAffinityMask), which Wine does not restrict.
$one = (cmd /c "start /b /wait /affinity 1 `"`" `"$Pack`" --print-default threads" | Out-String).Trim()
if ($one -ne '1') { Fail "one processor allowed gave $one threads" }
$all = [int]((& $Pack --print-default threads | Out-String).Trim())
if ($all -lt 1 -or $all -gt [Environment]::ProcessorCount) { Fail "the default of $all threads" }

Remove-Item -Recurse -Force $work
if ($failures -gt 0) { Write-Host "$failures failure(s)"; exit 1 }
Write-Host 'qarvel-pack behaves on this Windows machine'
