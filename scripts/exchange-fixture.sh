# A local FTP server and a settings file for a client folder tree, shared by the demo and
# the install test. Source it; it only defines functions.

fixture_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# start_ftp_server ROOT USER PASSWORD LOG [OPTION...]: the demo's FTP server (pyftpdlib,
# with the Windows-1251 wire and "LIST *.*" mask matching of the depository's server) in the
# background, on a port the system picks when it binds; sets server_pid and port. Further
# options go to demo_ftpd.py (another --passive range, --rate). Fails when the server has
# not said its port within ten seconds, or has ended.
start_ftp_server() {
    local port_file="$4.port"
    rm -f "$port_file"
    /usr/bin/python3 "$fixture_dir/demo_ftpd.py" --port 0 --port-file "$port_file" --root "$1" \
        --user "$2" --password "$3" --passive 42000-42999 "${@:5}" >"$4" 2>&1 &
    server_pid=$!
    for _ in $(seq 1 100); do
        if [[ -s "$port_file" ]]; then
            port=$(<"$port_file")
            rm -f "$port_file"
            return 0
        fi
        kill -0 "$server_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# write_settings_reg FILE CLIENT PORT USER PASSWORD CRYPT_PROGRAM CODE: a REGEDIT4 settings
# file for the folders under CLIENT, the server on 127.0.0.1:PORT, and the encryption
# program with the PIN 12345678 (stored enciphered as "f9NLMtP8TSc=").
write_settings_reg() {
    local client=$2
    cat >"$1" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]
"FtpOut"="Out"
"FtpIn"="In"
"TempSend"="$client/Temp/Send"
"TempReciv"="$client/Temp/Reciv"
"Interval"=dword:0000001e
"IP"="127.0.0.1"
"Port"=dword:$(printf '%08x' "$3")
"Passive"=dword:00000001
"User"="$4"
"Password"="$5"
"ArcSend"="$client/Archive/ReceivedEncrypted"
"ArcReciv"="$client/Archive/SentEncrypted"
"ArcSend2"="$client/Archive/Received"
"ArcReciv2"="$client/Archive/Sent"
"PostBoxOut"="$client/PostBox/Out"
"PostBoxIn"="$client/PostBox/In"
"UnKnOwn"="$client/UnKnOwn"
"UnKnOwnMonitoring"=dword:00000000
"ERRMonitoring"=dword:00000000
"AutoRun"=dword:00000000
"ShowBallonHint"=dword:00000000
"NotUseCrypt"=dword:00000000
"SoundOFF"=dword:00000001
"ERRExt"=".dat"
"CryptProgNew"="$6"
"PIN"="f9NLMtP8TSc="
"UPIN"="f9NLMtP8TSc="
"KodSend"="$7"
"WindowType"=dword:00000003
"Pause"=dword:00000005
REG
}
