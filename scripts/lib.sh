# Helpers shared by the scripts; source it, do not run it.

# Prints one message (after $failPrefix, if set) on standard error and ends the script with status 1.
fail() {
    echo "${failPrefix:-}$*" >&2
    exit 1
}

# Waits up to $1 seconds for the command that follows to succeed, trying ten times a second.
waitUntil() {
    local seconds="$1"
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Runs a command in an X server of its own (Xvfb on a free display, 1024 x 768 at 24 bits, no TCP).
inXvfb() {
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
}

# Runs the calling script again, with these arguments, in an X server of its own, and ends with its
# status; inside that server it returns, with Qt's platform left to the X server.
inOwnXServer() {
    if [ -z "${QV58163_OWN_X_SERVER:-}" ]; then
        QV58163_OWN_X_SERVER=1 inXvfb "$0" "$@"
        exit
    fi
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
}

# Prints the machine's own Debian package sources as deb-src lines, one per archive and suite, for
# a private apt state that fetches source packages. Reads what apt itself reads: the deb lines of
# /etc/apt/sources.list and sources.list.d/*.list, and the Types/URIs/Suites/Components/Signed-By
# of the deb822 files sources.list.d/*.sources. Only the suites of this Debian release are kept
# (bookworm, bookworm-updates, bookworm-security, ...), so that a third party's archive without
# source packages does not break the private update.
debianSourceLines() {
    local codename
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
    [ -n "$codename" ] || fail "no VERSION_CODENAME in /etc/os-release"
    local etc="${QV58163_APT_ETC:-/etc/apt}" # another folder only to try it out
    {
        local f
        for f in "$etc/sources.list" "$etc"/sources.list.d/*.list; do
            if [ -f "$f" ]; then
                awk '$1 == "deb" { $1 = "deb-src"; print }' "$f"
            fi
        done
        for f in "$etc"/sources.list.d/*.sources; do
            [ -f "$f" ] || continue
            # deb822: paragraphs of "Field: value" lines, separated by blank lines.
            awk '
                function flush() {
                    if (types ~ /(^| )deb( |$)/ && enabled != "no" && uris != "" && suites != "") {
                        opt = signed != "" ? "[signed-by=" signed "] " : ""
                        nu = split(uris, u, " "); ns = split(suites, s, " ")
                        for (i = 1; i <= nu; i++)
                            for (j = 1; j <= ns; j++)
                                print "deb-src " opt u[i] " " s[j] " " components
                    }
                    types = uris = suites = components = signed = enabled = ""
                }
                /^[ \t]*#/ { next }
                /^[ \t]*$/ { flush(); next }
                {
                    field = tolower($1); sub(/:$/, "", field); $1 = ""; sub(/^ +/, "")
                    if (field == "types") types = $0
                    else if (field == "uris") uris = $0
                    else if (field == "suites") suites = $0
                    else if (field == "components") components = $0
                    else if (field == "signed-by") signed = $0
                    else if (field == "enabled") enabled = tolower($0)
                }
                END { flush() }
            ' "$f"
        done
    } | awk -v c="$codename" '{
            # deb-src [options] URI SUITE COMPONENTS...: find the suite after the URI.
            n = 2; if ($2 ~ /^\[/) { while (n <= NF && $n !~ /\]$/) n++; n++ }
            suite = $(n + 1)
            if (suite == c || index(suite, c "-") == 1) print
        }' | sort -u
}
