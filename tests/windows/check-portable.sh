#!/usr/bin/env bash
# The window's layers (app/, sheet/, rowtree/) are built for Windows with Qt's own kits,
# where nothing of POSIX exists: every platform matter there goes through Qt or through the
# GUI-free layers, which keep their own _WIN32 paths. This names every line of those
# folders that reaches for a Linux-only header, call, signal or path, and fails on any.
set -euo pipefail
cd "$(dirname "$0")/../.."
headers='#[[:space:]]*include[[:space:]]*<(unistd|poll|fcntl|pwd|grp|dlfcn|termios|pty|iconv|signal|syslog|execinfo|netdb|ifaddrs|libgen|glob|spawn|arpa/[a-z]+|netinet/[a-z]+|sys/[a-z_]+|linux/[a-z_]+)\.h>|#[[:space:]]*include[[:space:]]*<csignal>'
calls='(^|[^:A-Za-z0-9_.>])(fork|vfork|execv|execvp|execl|execlp|usleep|nanosleep|sleep|getuid|geteuid|getpid|getppid|getpwuid|setrlimit|getrlimit|popen|pclose|pipe|pipe2|dup2|isatty|mkstemp|realpath|readlink|symlink|chmod|chown|umask|kill|signal|sigaction|ioctl|fcntl|poll|select|socket)[[:space:]]*\('
names='\b(SIGPIPE|SIGKILL|SIGTERM|SIGINT|O_NONBLOCK|O_CLOEXEC|STDIN_FILENO|STDOUT_FILENO|STDERR_FILENO|PATH_MAX)\b'
paths='"/(dev|proc|sys|tmp|etc|usr|var|home|run)(/|")|getenv\("(HOME|USER|TMPDIR|XDG_[A-Z_]+)"\)'
found=0
for pattern in "$headers" "$calls" "$names" "$paths"; do
  if grep -rnE --include='*.cpp' --include='*.h' "$pattern" app sheet rowtree; then
    found=1
  fi
done
if [ $found -ne 0 ]; then
  echo "check-portable: the lines above use Linux-only calls in the window's layers; use Qt's own (QThread, QProcess, QDir, QStandardPaths, QFile)"
  exit 1
fi
files=$(find app sheet rowtree -name '*.cpp' -o -name '*.h' | wc -l)
echo "check-portable: $files files of app/, sheet/, rowtree/ use no Linux-only header, call or path"
