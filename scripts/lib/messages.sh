# Messages and help shared by the scripts. Sourced with the name their messages start
# with:   . "$root/scripts/lib/messages.sh" build-web
#   say TEXT...          "NAME: TEXT" on stderr
#   die TEXT...          say it, then exit 1
#   usage_error TEXT...  say "TEXT (see --help)", then exit 2
#   usage                the script's help: its opening comment, after the first line up
#                        to the first line that is no comment, without the "# "

messages_name=$1

say() { echo "$messages_name: $*" >&2; }
die() { say "$*"; exit 1; }
usage_error() { say "$* (see --help)"; exit 2; }
usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; }
