#!/usr/bin/python3
"""The Debian package: built by CPack from this build tree, checked by lintian, unpacked into a
throw-away root, and there its desktop entry, scheme handler, icons, metainfo and frpc checked (none
unless a real one was given; never the development tools)."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile

SKIP = 77
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256, 512)


def run(command, **kwargs):
    print("$ " + " ".join(command), flush=True)
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)
    print(result.stdout, end="", flush=True)
    return result


def require(result, what):
    if result.returncode != 0:
        print("FAIL: %s (exit %d)" % (what, result.returncode))
        sys.exit(1)


def shipped_frpc(build):
    """Whether the build was given a real frpc to ship (OSTREL_FRPC_PATH)."""
    with open(os.path.join(build, "CMakeCache.txt")) as cache:
        for line in cache:
            if line.startswith("OSTREL_FRPC_PATH:"):
                return bool(line.split("=", 1)[1].strip())
    return False


def run_installed(root, work):
    """Starts the unpacked ostrel (offscreen, no session bus) and stops it as the desktop does."""
    runtime = os.path.join(work, "run")
    os.makedirs(runtime, mode=0o700)
    env = {"PATH": "/usr/bin:/bin", "HOME": os.path.join(work, "home"), "XDG_RUNTIME_DIR": runtime,
           "QT_QPA_PLATFORM": "offscreen", "ASAN_OPTIONS": "detect_leaks=0"}
    print("$ " + os.path.join(root, "usr/bin/ostrel"), flush=True)
    app = subprocess.Popen([os.path.join(root, "usr/bin/ostrel")], env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True)
    # Without a session bus the notification check fails from inside the event loop, so once
    # this line is out the start-up is over and the termination signals are handled.
    running = "[AppState] notification auth error:"
    output = []
    for _ in range(30):
        line = app.stdout.readline()
        print(line, end="")
        output.append(line)
        if not line or line.startswith(running):
            break
    if not line.startswith(running):
        app.kill()
        app.wait()
        return ["the installed ostrel did not start"]
    app.send_signal(signal.SIGTERM)
    rest, _ = app.communicate(timeout=30)
    print(rest, end="")
    output += rest.splitlines()
    problems = [] if app.returncode == 0 else ["the installed ostrel ended with %d" % app.returncode]
    # Which frpc it runs: the shipped one, the user's on PATH, or the line saying there is none.
    if not any(l.startswith(("[FrpcManager] frpc in use: ", "[FrpcManager] no frpc among")) for l in output):
        problems.append("the installed ostrel did not say which frpc it uses")
    return problems


def main():
    build = os.path.abspath(sys.argv[1])
    tools = ["cpack", "dpkg-deb", "desktop-file-validate", "update-desktop-database", "xdg-mime", "lintian",
             "appstreamcli"]
    missing = [tool for tool in tools if not shutil.which(tool)]
    if missing:
        print("SKIP: %s not installed (scripts/install-deps.sh installs them)" % ", ".join(missing))
        return SKIP
    work = tempfile.mkdtemp(prefix="ostrel-package.")
    try:
        out = os.path.join(work, "out")
        require(run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(build, "CPackConfig.cmake")]),
                "cpack")
        debs = [name for name in os.listdir(out) if name.endswith(".deb")]
        if len(debs) != 1:
            print("FAIL: cpack made %r, not one .deb" % debs)
            return 1
        deb = os.path.join(out, debs[0])

        # Errors and warnings fail; informational tags do not.
        lint = run(["lintian", "--fail-on", "error,warning", "--tag-display-limit", "0", deb])
        require(lint, "lintian")

        root = os.path.join(work, "root")
        require(run(["dpkg-deb", "-x", deb, root]), "dpkg-deb -x")
        share = os.path.join(root, "usr/share")
        applications = os.path.join(share, "applications")
        require(run(["desktop-file-validate", os.path.join(applications, "ostrel.desktop")]), "desktop-file-validate")
        metainfo = os.path.join(share, "metainfo/io.ostrel.Ostrel.metainfo.xml")
        require(run(["appstreamcli", "validate", "--no-net", "--pedantic", metainfo]), "appstreamcli validate")

        problems = []
        for size in ICON_SIZES:
            icon = os.path.join(share, "icons/hicolor/%dx%d/apps/ostrel.png" % (size, size))
            if not os.path.isfile(icon):
                problems.append("no %s" % icon)
            else:
                with open(icon, "rb") as png:
                    head = png.read(24)
                width, height = int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
                if head[:8] != b"\x89PNG\r\n\x1a\n" or (width, height) != (size, size):
                    problems.append("%s is not a %dx%d PNG" % (icon, size, size))
        for path in ("icons/hicolor/scalable/apps/ostrel.svg", "man/man1/ostrel.1.gz", "doc/ostrel/copyright",
                     "ostrel/en.lproj/Localizable.strings"):
            if not os.path.isfile(os.path.join(share, path)):
                problems.append("no /usr/share/%s" % path)
        # frpc only when a real one was given; the development tools never.
        frpc = os.path.join(share, "ostrel/frpc")
        if shipped_frpc(build):
            if not os.access(frpc, os.X_OK):
                problems.append("/usr/share/ostrel/frpc does not lead to an executable")
        elif os.path.lexists(frpc) or os.path.lexists(os.path.join(root, "usr/lib/ostrel/frpc")):
            problems.append("the package ships an frpc (the stand-in?) though none was given")
        if os.path.lexists(os.path.join(root, "usr/bin/ostrel-devservice")):
            problems.append("the package ships the development service")
        if os.path.exists(os.path.join(applications, "mimeinfo.cache")):
            problems.append("the package ships a desktop database cache")

        # What desktop-file-utils' trigger does on installation, then the handler as the desktop
        # asks for it, with only the throw-away root's folders in view.
        require(run(["update-desktop-database", applications]), "update-desktop-database")
        home = os.path.join(work, "home")
        os.makedirs(home)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith("XDG_") and key not in ("DESKTOP_SESSION", "KDE_FULL_SESSION")}
        env.update({"HOME": home, "XDG_DATA_DIRS": share, "XDG_DATA_HOME": os.path.join(home, ".local/share"),
                    "XDG_CONFIG_HOME": os.path.join(home, ".config"), "XDG_CONFIG_DIRS": os.path.join(root, "etc/xdg")})
        query = run(["xdg-mime", "query", "default", "x-scheme-handler/ostrel"], env=env)
        require(query, "xdg-mime query")
        if query.stdout.strip() != "ostrel.desktop":
            problems.append("xdg-mime names %r as the ostrel:// handler, not ostrel.desktop" % query.stdout.strip())

        problems += run_installed(root, work)
        for problem in problems:
            print("FAIL: " + problem)
        if problems:
            return 1
        print("PASS: %s" % debs[0])
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


sys.exit(main())
