#!/usr/bin/env python3
"""A private Tiny Tiny RSS server for the tests, on 127.0.0.1 only.

It runs Debian's tt-rss (/usr/share/tt-rss/www) under PHP's built-in web server, on a
PostgreSQL cluster of its own that listens on a Unix socket only. Both refuse root, so
when started as root they run as the unprivileged user calvoria-test (created when
missing). The user `admin` has the password ADMIN_PASSWORD and API access.

As a module:
    url, stop = start(workdir)
    add_feed(workdir, "Title", category="News", articles=[...])
    set_api_access(workdir, False)
    stop()

From the command line:
    ttrss_server.py check                  fails, naming what is missing to run it
    ttrss_server.py serve WORKDIR          prints the address, runs until killed
    ttrss_server.py add-feed WORKDIR TITLE [--category C] [--articles N]
                                           prints the feed id
    ttrss_server.py api-access WORKDIR on|off
    ttrss_server.py sql WORKDIR STATEMENT  prints the rows, one a line
"""

import argparse
import ctypes
import hashlib
import json
import os
import pwd
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

TTRSS_WWW = "/usr/share/tt-rss/www"
TTRSS_SCHEMA = "/usr/share/tt-rss/schema/ttrss_schema_pgsql.sql"
PG_BIN = "/usr/lib/postgresql/15/bin"
PHP = "/usr/bin/php"
TEST_USER = "calvoria-test"
DB_NAME = "ttrss"
DB_USER = "ttrss"
ADMIN_PASSWORD = "calvoria-admin"
STATE_FILE = "ttrss-server.json"

CONFIG_TEMPLATE = """<?php
define('DB_TYPE', 'pgsql');
define('DB_HOST', '{socket_dir}');
define('DB_PORT', '');
define('DB_USER', '{db_user}');
define('DB_NAME', '{db_name}');
define('DB_PASS', '');
define('MYSQL_CHARSET', 'UTF8');
define('SELF_URL_PATH', '{url}');
define('SINGLE_USER_MODE', false);
define('SIMPLE_UPDATE_MODE', false);
define('PHP_EXECUTABLE', '{php}');
define('LOCK_DIRECTORY', '{state_dir}/lock');
define('CACHE_DIR', '{state_dir}/cache');
define('ICONS_DIR', 'feed-icons');
define('ICONS_URL', 'feed-icons');
define('AUTH_AUTO_CREATE', false);
define('AUTH_AUTO_LOGIN', false);
define('FORCE_ARTICLE_PURGE', 0);
define('ENABLE_REGISTRATION', false);
define('REG_NOTIFY_ADDRESS', 'nobody@localhost');
define('REG_MAX_USERS', 0);
define('SESSION_COOKIE_LIFETIME', 86400);
define('SMTP_FROM_NAME', 'Tiny Tiny RSS');
define('SMTP_FROM_ADDRESS', 'nobody@localhost');
define('DIGEST_SUBJECT', 'digest');
define('CHECK_FOR_UPDATES', false);
define('ENABLE_GZIP_OUTPUT', false);
define('PLUGINS', 'auth_internal');
define('LOG_DESTINATION', '');
define('CONFIG_VERSION', 26);
"""


def missing_programs():
    """What this machine lacks to run the server; empty when everything is there."""
    needed = [TTRSS_WWW, TTRSS_SCHEMA, PHP] + [
        os.path.join(PG_BIN, name) for name in ("initdb", "postgres", "psql")]
    return [path for path in needed if not os.path.exists(path)]


def _run_as():
    """The (uid, gid) the server runs as: the caller's own unless that is root."""
    if os.geteuid() != 0:
        return os.geteuid(), os.getegid()
    try:
        entry = pwd.getpwnam(TEST_USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                        "--shell", "/usr/sbin/nologin", TEST_USER], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        entry = pwd.getpwnam(TEST_USER)
    return entry.pw_uid, entry.pw_gid


def _die_with_parent():
    """In a child: ends it when the process that started it goes away."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def _spawn_args(state):
    args = {"preexec_fn": _die_with_parent,
            "env": {"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8", "HOME": state["base"],
                    "TZ": "UTC"}}
    if os.geteuid() == 0:
        args["user"], args["group"], args["extra_groups"] = state["uid"], state["gid"], []
    return args


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _load_state(workdir):
    with open(os.path.join(workdir, STATE_FILE), encoding="utf-8") as f:
        return json.load(f)


def _psql(state, sql, single_transaction=False, database=DB_NAME):
    """Runs SQL on the server's database; returns the rows, fields split on '|'."""
    command = [os.path.join(PG_BIN, "psql"), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
               "-h", state["socket_dir"], "-U", DB_USER, "-d", database]
    if single_transaction:
        command.append("-1")
    result = subprocess.run(command, input=sql, text=True, capture_output=True,
                            **_spawn_args(state))
    if result.returncode != 0:
        raise RuntimeError("psql failed: " + result.stderr.strip())
    return [line.split("|") for line in result.stdout.splitlines() if line]


def _quote(text):
    return "'" + str(text).replace("'", "''") + "'"


def _wait_for(predicate, seconds, what, log_path):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.02)
    with open(log_path, encoding="utf-8", errors="replace") as f:
        log = f.read()[-2000:]
    raise RuntimeError(f"{what} did not start within {seconds} s:\n{log}")


def _answers(url):
    try:
        with socket.create_connection(("127.0.0.1", int(url.rsplit(":", 1)[1].strip("/"))),
                                      timeout=0.2):
            return True
    except OSError:
        return False


def _point_links_home(www):
    """The package links its libraries with relative links: points them to where they are."""
    for root, dirs, files in os.walk(www):
        for name in dirs + files:
            path = os.path.join(root, name)
            if os.path.islink(path) and not os.path.isabs(os.readlink(path)):
                original = os.path.join(TTRSS_WWW, os.path.relpath(path, www))
                os.remove(path)
                os.symlink(os.path.realpath(original), path)


def start(workdir):
    """Starts a fresh server; returns (base_url, stop). Logs go to workdir."""
    missing = missing_programs()
    if missing:
        raise RuntimeError("tt-rss server needs: " + ", ".join(missing))
    os.makedirs(workdir, exist_ok=True)
    uid, gid = _run_as()
    # Short and reachable for the server's user, whoever owns workdir: the socket path
    # must stay under the 107 bytes a Unix socket address holds.
    base = tempfile.mkdtemp(prefix="calvoria-ttrss-")
    state = {"base": base, "uid": uid, "gid": gid, "socket_dir": os.path.join(base, "s"),
             "data_dir": os.path.join(base, "pg"), "www": os.path.join(base, "www")}
    processes = []

    def stop():
        for process in reversed(processes):
            if process.poll() is None:
                process.send_signal(signal.SIGINT)  # postgres: fast shutdown
        for process in reversed(processes):
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        processes.clear()
        shutil.rmtree(base, ignore_errors=True)
        try:
            os.remove(os.path.join(workdir, STATE_FILE))
        except FileNotFoundError:
            pass

    try:
        for sub in ("s", "lock", "cache/images", "cache/upload", "cache/export"):
            os.makedirs(os.path.join(base, sub))
        shutil.copytree(TTRSS_WWW, state["www"], symlinks=True,
                        ignore=shutil.ignore_patterns("config.php", "feed-icons"))
        os.makedirs(os.path.join(state["www"], "feed-icons"))
        _point_links_home(state["www"])
        if os.geteuid() == 0:
            for root, dirs, files in os.walk(base):
                for name in dirs + files:
                    os.lchown(os.path.join(root, name), uid, gid)
            os.chown(base, uid, gid)

        pg_log = os.path.join(workdir, "postgres.log")
        with open(pg_log, "w") as log:
            subprocess.run([os.path.join(PG_BIN, "initdb"), "-D", state["data_dir"], "-U", DB_USER,
                            "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync"],
                           stdout=log, stderr=subprocess.STDOUT, check=True,
                           **_spawn_args(state))
        log = open(pg_log, "a")
        processes.append(subprocess.Popen(
            [os.path.join(PG_BIN, "postgres"), "-D", state["data_dir"], "-k", state["socket_dir"],
             "-c", "listen_addresses=", "-c", "fsync=off", "-c", "synchronous_commit=off",
             "-c", "full_page_writes=off"],
            stdout=log, stderr=subprocess.STDOUT, **_spawn_args(state)))
        log.close()
        _wait_for(lambda: os.path.exists(os.path.join(state["socket_dir"], ".s.PGSQL.5432")) and
                  processes[0].poll() is None, 10, "PostgreSQL", pg_log)
        # The socket file comes a moment before connections are accepted.
        for _ in range(100):
            try:
                _psql(state, "select 1", database="postgres")
                break
            except RuntimeError:
                time.sleep(0.02)
        _psql(state, f"create database {DB_NAME}", database="postgres")
        with open(TTRSS_SCHEMA, encoding="utf-8") as f:
            _psql(state, f.read(), single_transaction=True)
        salt = secrets.token_hex(32)
        digest = "MODE2:" + hashlib.sha256((salt + ADMIN_PASSWORD).encode()).hexdigest()
        _psql(state, f"update ttrss_users set pwd_hash = {_quote(digest)}, salt = {_quote(salt)} "
                     "where login = 'admin';"
                     "insert into ttrss_user_prefs (owner_uid, pref_name, value) "
                     "select id, 'ENABLE_API_ACCESS', 'true' from ttrss_users "
                     "where login = 'admin';")

        port = _free_port()
        url = f"http://127.0.0.1:{port}/"
        with open(os.path.join(state["www"], "config.php"), "w", encoding="utf-8") as f:
            f.write(CONFIG_TEMPLATE.format(socket_dir=state["socket_dir"], db_user=DB_USER,
                                           db_name=DB_NAME, url=url, php=PHP, state_dir=base))
        if os.geteuid() == 0:
            os.chown(os.path.join(state["www"], "config.php"), uid, gid)
        php_log = os.path.join(workdir, "php.log")
        with open(php_log, "w") as log:
            processes.append(subprocess.Popen(
                [PHP, "-S", f"127.0.0.1:{port}", "-t", state["www"]], cwd=state["www"],
                stdout=log, stderr=subprocess.STDOUT, **_spawn_args(state)))
        _wait_for(lambda: _answers(url), 10, "PHP", php_log)
        state["url"] = url
        with open(os.path.join(workdir, STATE_FILE), "w", encoding="utf-8") as f:
            json.dump(state, f)
        return url, stop
    except BaseException:
        stop()
        raise


def admin_id(workdir):
    return int(_psql(_load_state(workdir), "select id from ttrss_users where login = 'admin'")[0][0])


def set_api_access(workdir, enabled):
    """Turns the API on or off for admin."""
    state = _load_state(workdir)
    _psql(state, f"update ttrss_user_prefs set value = {_quote('true' if enabled else 'false')} "
                 "where pref_name = 'ENABLE_API_ACCESS' and owner_uid = "
                 "(select id from ttrss_users where login = 'admin')")


def add_feed(workdir, title, category=None, articles=()):
    """Adds a feed of admin's, in category (made when missing), with articles: dicts of
    title, link, content, author, updated (ISO time) and unread/marked, oldest first.
    Returns the feed id."""
    state = _load_state(workdir)
    owner = "(select id from ttrss_users where login = 'admin')"
    cat = "null"
    if category:
        cat = (f"(select id from ttrss_feed_categories where title = {_quote(category)} "
               f"and owner_uid = {owner})")
        _psql(state, f"insert into ttrss_feed_categories (owner_uid, title) select {owner}, "
                     f"{_quote(category)} where not exists (select 1 from ttrss_feed_categories "
                     f"where title = {_quote(category)} and owner_uid = {owner})")
    feed_url = f"http://127.0.0.1:9/{secrets.token_hex(6)}.xml"
    sql = [f"insert into ttrss_feeds (owner_uid, title, cat_id, feed_url, site_url, last_updated) "
           f"values ({owner}, {_quote(title)}, {cat}, {_quote(feed_url)}, "
           f"'http://127.0.0.1:9/', now());"]
    for n, article in enumerate(articles):
        guid = f"{feed_url}#{n}"
        content = article.get("content", "")
        updated = _quote(article.get("updated", f"2026-01-01T00:00:{n % 60:02d}Z"))
        sql.append(
            "with e as (insert into ttrss_entries (title, guid, link, updated, content, "
            "content_hash, date_entered, date_updated, author) values ("
            f"{_quote(article.get('title', f'Article {n + 1}'))}, {_quote(guid)}, "
            f"{_quote(article.get('link', guid))}, {updated}, {_quote(content)}, "
            f"{_quote(hashlib.sha1(content.encode()).hexdigest())}, {updated}, {updated}, "
            f"{_quote(article.get('author', ''))}) returning id) "
            "insert into ttrss_user_entries (ref_id, uuid, feed_id, owner_uid, tag_cache, "
            "label_cache, unread, marked) select e.id, '', currval('ttrss_feeds_id_seq'), "
            f"{owner}, '', '', {str(article.get('unread', True)).lower()}, "
            f"{str(article.get('marked', False)).lower()} from e;")
    sql.append("select currval('ttrss_feeds_id_seq');")
    return int(_psql(state, "\n".join(sql), single_transaction=True)[-1][0])


def _serve(workdir):
    url, stop = start(workdir)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        print(url, flush=True)
        signal.pause()
    except (KeyboardInterrupt, SystemExit):
        pass
    finally:
        stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    sub.add_parser("check")
    sub.add_parser("serve").add_argument("workdir")
    feed = sub.add_parser("add-feed")
    feed.add_argument("workdir")
    feed.add_argument("title")
    feed.add_argument("--category")
    feed.add_argument("--articles", type=int, default=0)
    access = sub.add_parser("api-access")
    access.add_argument("workdir")
    access.add_argument("state", choices=["on", "off"])
    sql = sub.add_parser("sql")
    sql.add_argument("workdir")
    sql.add_argument("statement")
    args = parser.parse_args()

    if args.command == "check":
        missing = missing_programs()
        if missing:
            sys.exit("not installed: " + ", ".join(missing))
    elif args.command == "serve":
        _serve(args.workdir)
    elif args.command == "add-feed":
        articles = [{"title": f"{args.title} {n + 1}", "content": f"<p>Text {n + 1}</p>"}
                    for n in range(args.articles)]
        print(add_feed(args.workdir, args.title, args.category, articles))
    elif args.command == "api-access":
        set_api_access(args.workdir, args.state == "on")
    else:
        for row in _psql(_load_state(args.workdir), args.statement):
            print("|".join(row))


if __name__ == "__main__":
    main()
