#!/usr/bin/env bash
# The program's main job on a ready-made sample: stages a small product in a
# Wine prefix of its own, runs "Uninstall.exe /s" on it, and prints what was
# there before and what is left after.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/packages.sh"
build=$root/build/x86_64
cmake --no-warn-unused-cli -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" >/dev/null
# The sample's COM server is the test suite's recording server DLL.
cmake --build "$build" --target Uninstall ComServerProbe -j "$(nproc)" >/dev/null

export WINEPREFIX=$root/build/wineprefix-sample
echo "Making the sample's Wine prefix ($WINEPREFIX)..."
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1

drive_c=$WINEPREFIX/drive_c
user=$(ls "$drive_c/users" | grep -v -x Public | head -n 1)
app_unix="$drive_c/Program Files/Orvel Sample"
menu_unix="$drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Orvel Sample"
desk_unix="$drive_c/users/$user/Desktop"
app='C:\Program Files\Orvel Sample'
menu="C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Orvel Sample"
desk="C:\\users\\$user\\Desktop"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvelSample'
prodkey='HKCU\Software\Orvel\Sample'
assockey='HKCU\Software\Classes\.orvel'
ini_unix="$drive_c/windows/orvel-sample.ini"
common_unix="$drive_c/Program Files/Common Files/Orvel"
common='C:\Program Files\Common Files\Orvel'
fontfile_unix="$drive_c/windows/Fonts/OrvelSampleSans.ttf"
fontfile='C:\windows\Fonts\OrvelSampleSans.ttf'
shared='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs'
fontkey='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts'
com_record_unix="$drive_c/windows/temp/orvel-com-server.log"
export UNINSTALL_TEST_LAUNCH_LOG='C:\windows\temp\orvel-com-server.log'

# The product as its installer left it.
mkdir -p "$app_unix/bin" "$app_unix/Help" "$app_unix/Data/Cache" "$menu_unix" "$desk_unix" "$common_unix" \
    "$(dirname "$fontfile_unix")" "$(dirname "$com_record_unix")"
# Shared files: one also used by another product (counter 2), one used by
# this product alone (counter 1); a font; a COM server.
echo "shared by two products" > "$common_unix/orvelcore.dll"
echo "shared by this product only" > "$common_unix/orvelzip.dll"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$fontfile_unix"
cp "$build/tests/ComServerProbe.dll" "$app_unix/bin/OrvelSampleCom.dll"
: > "$com_record_unix"
echo "program" > "$app_unix/bin/sample.exe"
echo "library" > "$app_unix/bin/sample.dll"
echo "help" > "$app_unix/Help/Sample.hlp"
echo "help index" > "$app_unix/Help/Sample.gid"
echo "read me" > "$app_unix/readme.txt"
echo "cache" > "$app_unix/Data/Cache/page1.tmp"
echo "log 1" > "$app_unix/Data/run1.log"
echo "log 2" > "$app_unix/Data/run2.log"
echo "link" > "$menu_unix/Orvel Sample.lnk"
echo "link" > "$menu_unix/Read Me.lnk"
echo "link" > "$desk_unix/Orvel Sample.lnk"
echo "user's own" > "$desk_unix/my notes.txt"
echo "silent settings" > "$app_unix/setup.iss"
cp "$build/Uninstall/Uninstall.exe" "$app_unix/Uninstall.exe"
cat > "$app_unix/install.log" <<LOG
[Strings]
AppID=OrvelSample
1=Orvel Sample Uninstall
10=Deleting %s
15=Removing folder %s

[SharedFiles]
$common\\orvelcore.dll=
$common\\orvelzip.dll=

[RegFonts]
Orvel Sample Sans (TrueType)=$fontfile

[RegServers]
$app\\bin\\OrvelSampleCom.dll=

[CopyFiles]
$common\\orvelcore.dll=1
$common\\orvelzip.dll=1
$app\\bin\\OrvelSampleCom.dll=1
$app\\bin\\sample.exe=1
$app\\bin\\sample.dll=1
$app\\Help\\Sample.hlp=1
$app\\readme.txt=1

[DataFiles]
$app\\Data\\*.log=

[DataFolders]
$app\\Data\\Cache=

[Shortcuts]
$menu\\Orvel Sample.lnk=
$menu\\Read Me.lnk=
$desk\\Orvel Sample.lnk=

[AddReg]
$prodkey\\InstallDir=0,
$prodkey\\Settings\\Theme=0,
$assockey\\=1,txtfile
$assockey\\Content Type=0,

[CreateKeys]
$prodkey\\Settings=
$prodkey=
HKCU\\Software\\Orvel=

[AddIni]
orvel-sample.ini,Viewer,Editor=notepad.exe
orvel-sample.ini,Sample,Version=

[EnvVars]
ORVEL_SAMPLE_PATH=0,$app\\bin

[CreateDirs]
$app=
$app\\bin=
$app\\Help=
$app\\Data=
$menu=
LOG
sed -i 's/$/\r/' "$app_unix/install.log"
# What the installer changed: its own keys, a file type it took over, an INI
# entry it changed and one it added, and its folder added to a search path.
printf '[Viewer]\r\nEditor=orvel.exe\r\n[Sample]\r\nVersion=1.0\r\n' > "$ini_unix"
wine reg add "$prodkey" /v InstallDir /d "$app" /f >/dev/null 2>&1
wine reg add "$prodkey\\Settings" /v Theme /d "Calm" /f >/dev/null 2>&1
wine reg add "$assockey" /ve /d "OrvelSample.Document" /f >/dev/null 2>&1
wine reg add "$assockey" /v "Content Type" /d "text/x-orvel" /f >/dev/null 2>&1
wine reg add 'HKCU\Environment' /v ORVEL_SAMPLE_PATH /t REG_EXPAND_SZ /d "%SystemRoot%\\tools;$app\\bin" /f >/dev/null 2>&1
wine reg add "$shared" /v "$common\\orvelcore.dll" /t REG_DWORD /d 2 /f >/dev/null 2>&1
wine reg add "$shared" /v "$common\\orvelzip.dll" /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add "$fontkey" /v "Orvel Sample Sans (TrueType)" /d "$fontfile" /f >/dev/null 2>&1
wine regsvr32 /s "$app\\bin\\OrvelSampleCom.dll" >/dev/null 2>&1 || true
wine reg add "$key" /v DisplayName /d "Orvel Sample" /f >/dev/null 2>&1
wine reg add "$key" /v SilentSettings /d "$app\\setup.iss" /f >/dev/null 2>&1

show() {
    echo "  files:"
    for dir in "$app_unix" "$menu_unix" "$desk_unix" "$common_unix" "$fontfile_unix"; do
        [ -e "$dir" ] && find "$dir" | sed "s|^$drive_c|    C:|" | sort
    done
    for k in "$key" "$prodkey" "$assockey"; do
        echo "  registry $k:"
        if wine reg query "$k" /s >/dev/null 2>&1; then
            wine reg query "$k" /s 2>/dev/null | tr -d '\r' | grep -v '^$' | grep -v '^HKEY' | sed 's/^/   /'
        else
            echo "    (no such key)"
        fi
    done
    echo "  environment variable ORVEL_SAMPLE_PATH of the user:"
    wine reg query 'HKCU\Environment' /v ORVEL_SAMPLE_PATH 2>/dev/null | tr -d '\r' | grep ORVEL | sed 's/^/   /' \
        || echo "    (none)"
    echo "  shared-file counters:"
    for f in orvelcore.dll orvelzip.dll; do
        wine reg query "$shared" /v "$common\\$f" 2>/dev/null | tr -d '\r' | grep -i "$f" | sed 's/^/   /' \
            || echo "    $common\\$f: (no counter)"
    done
    echo "  font registration:"
    wine reg query "$fontkey" /v "Orvel Sample Sans (TrueType)" 2>/dev/null | tr -d '\r' | grep Orvel \
        | sed 's/^/   /' || echo "    (none)"
    echo "  calls the COM server recorded:"
    if [ -s "$com_record_unix" ]; then tr -d '\r' < "$com_record_unix" | sed 's/^/    /'; else echo "    (none)"; fi
    echo "  C:\\windows\\orvel-sample.ini:"
    if [ -e "$ini_unix" ]; then tr -d '\r' < "$ini_unix" | sed 's/^/    /'; else echo "    (no such file)"; fi
}

echo
echo "Before the uninstall:"
show
echo
echo "Running: wine \"$app\\Uninstall.exe\" /s"
set +e
wine "$app\\Uninstall.exe" /s
code=$?
set -e
echo "Exit code: $code"
# The uninstaller removes its own file through a batch file once it has ended.
for _ in $(seq 1 50); do [ -e "$app_unix/Uninstall.exe" ] || break; sleep 0.2; done
sleep 1
echo
echo "After the uninstall: the user's own file stays; the file type and the INI entry have their old values;"
echo "the installer's folder is out of the search path; the product's keys and font are gone; the COM server was"
echo "unregistered before its file went; the shared file another product still counts stays with its counter lowered:"
show
