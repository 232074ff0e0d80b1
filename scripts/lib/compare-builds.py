#!/usr/bin/env python3
"""Loads the same trees with the Linux and the Windows build (under Wine)
into SQLite and compares the two tables row by row.

  compare-builds.py LINUX_BINARY WINDOWS_EXE WORK_FOLDER

Trees: the bundled example, and a tree in three code pages (Big5, Thai,
Western) whose folder and file names are Chinese and Thai, loaded once with
a code page per folder and once under AUTO; with the test servers of
scripts/test running, that tree also through ODBC into PostgreSQL. Rows must be the same byte for
byte, but for what differs by nature: the batch code, the date and time, and
the spelling of the path of the work folder (/x/y on Linux, Z:\\x\\y under
Wine). Exits 1 on the first difference, naming the row.
"""
import os
import re
import shutil
import sqlite3
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def write_tree(tree):
    chinese = ["' 檢查客戶資料，這是一個測試程式 %d" % i for i in range(6)] + ["MsgBox \"完成\""]
    thai = ["' ตรวจสอบข้อมูลลูกค้า บันทึกเรียบร้อย %d" % i for i in range(6)] + ["MsgBox \"บันทึก\""]
    western = ["' Año fiscal: “cambio” — 25 €", "MsgBox \"Atención, señal\"", "x = \"C:\\temp\\ñ\""]
    files = {
        os.path.join("中文", "檢查.bas"): ("\r\n".join(chinese) + "\r\n").encode("cp950"),
        os.path.join("ไทย", "ลูกค้า.bas"): ("\r\n".join(thai) + "\r\n").encode("cp874"),
        os.path.join("west", "Año.bas"): ("\r\n".join(western) + "\r\n").encode("cp1252"),
        os.path.join("west", "utf8.cls"): "Sub Ä()\r\n  ' 日本 😀\r\nEnd Sub\r\n".encode("utf-8"),
        os.path.join("west", "empty.frm"): b"",
    }
    for relative, data in files.items():
        path = os.path.join(tree, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)


def config(path, folders, extra):
    keys = {
        "DESTINATION_ENGINE": "SQLITE",
        "SQL_SERVER_DATABASE_NAME": "out.db",
        "SOURCE_FOLDERS_LIST": folders,
        "SOURCE_FOLDERS_LIST_SEP_CHAR": ";",
        "SOURCE_FILE_EXTENSIONS": "FRM,BAS,CLS",
        "UNATTENDED_YES_NO": "YES",
        "DESTINATION_FILE_NAME_COLUMN_NAME": "FileName",
        "DESTINATION_LINE_NUMBER_COLUMN_NAME": "LineNo",
    }
    keys.update(extra)
    text = "<?xml version=\"1.0\"?>\r\n<CORVANNE_CONFIG>\r\n"
    text += "".join("<%s>%s</%s>\r\n" % (k, v, k) for k, v in keys.items())
    with open(path, "w", encoding="utf-8") as out:
        out.write(text + "</CORVANNE_CONFIG>\r\n")


VARYING = re.compile(r"<(BATCH_CODE|DATE_TIME)>[^<]*</")


SELECT = "SELECT LineId, MyCodeLine, FileName, LineNo FROM %s ORDER BY LineId"


def sqlite_rows(database):
    connection = sqlite3.connect(database)
    found = list(connection.execute(SELECT % "SysCodeLines_Temp"))
    connection.close()
    return found


def psql(sql, env):
    """Runs `sql` on the test server; its rows as tuples of text (NUL-free)."""
    done = subprocess.run(["psql", "-X", "-q", "-A", "-t", "-F", "\x1f", "-R", "\x1e", "-v", "ON_ERROR_STOP=1",
                           "-c", sql], env=env, stdout=subprocess.PIPE, check=True)
    text = done.stdout.decode("utf-8")
    return [tuple(None if field == "" else field for field in record.split("\x1f"))
            for record in text.rstrip("\n").split("\x1e") if record.strip("\n")]


def normalised(found, work, windows):
    """The rows with what differs by nature made alike."""
    result = []
    for line_id, line, file_name, line_no in found:
        line_id, line_no = int(line_id), None if line_no is None else int(line_no)
        line = VARYING.sub(r"<\1></", line)
        if windows:
            # The work folder as Wine spells it, in the row's own case.
            drive = "Z:" + work.replace("/", "\\")
            if file_name is not None:
                file_name = file_name.replace(drive, work, 1).replace("\\", "/")
            match = re.search(r"<FILE_NAME>([^<]*)</FILE_NAME>", line)
            if match:
                name = match.group(1).replace(drive.upper(), work.upper(), 1).replace("\\", "/")
                line = line[:match.start(1)] + name + line[match.end(1):]
        result.append((line_id, line, file_name, line_no))
    return result


def run(command, folder, env):
    done = subprocess.run(command, cwd=folder, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode not in (0, 1):
        sys.stderr.write(done.stderr.decode("utf-8", "replace"))
        raise SystemExit("%s exited with %d" % (" ".join(command), done.returncode))
    return done.returncode


def main():
    linux, windows, work = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    tree = os.path.join(work, "tree")
    write_tree(tree)
    examples = os.path.join(work, "examples")
    shutil.copytree(os.path.join(ROOT, "examples"), examples,
                    ignore=shutil.ignore_patterns("*.db", "*.db-*", "*.txt"))
    cases = [
        ("the bundled example", os.path.join(examples, "OrderDesk") + ";" + os.path.join(examples, "SharedCode"), {}),
        ("three code pages by folder", tree,
         {"SOURCE_FILE_CODE_PAGE": "1252", "SOURCE_FILE_CODE_PAGES_BY_FOLDER": "tree/中文=950;tree/ไทย=874"}),
        ("three code pages under AUTO", tree, {"SOURCE_FILE_CODE_PAGE": "AUTO"}),
    ]
    env = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
    env.pop("LANG", None)
    dsn = os.environ.get("CORVANNE_TEST_PG_DSN", "")
    pg_env = dict(env, PGHOST=os.environ.get("CORVANNE_TEST_PG_HOST", ""),
                  PGPORT=os.environ.get("CORVANNE_TEST_PG_PORT", ""),
                  PGUSER=os.environ.get("CORVANNE_TEST_PG_USER", ""),
                  PGPASSWORD=os.environ.get("CORVANNE_TEST_PG_PASSWORD", ""),
                  PGDATABASE=os.environ.get("CORVANNE_TEST_PG_DATABASE", ""),
                  PGOPTIONS="-c client_min_messages=warning")
    if dsn:
        # Through ODBC into PostgreSQL (the test servers of scripts/test):
        # one table per build, made here, as ODBC makes none.
        cases.append(("three code pages through ODBC into PostgreSQL", tree,
                      {"DESTINATION_ENGINE": "ODBC", "SQL_SERVER_NAME": dsn,
                       "UNATTENDED_RUN_USER_NAME": pg_env["PGUSER"],
                       "UNATTENDED_RUN_PASSWORD": pg_env["PGPASSWORD"]}))
    failed = False
    for name, folders, extra in cases:
        tables = []
        for build, command in (("linux", [linux]), ("windows", ["wine", windows])):
            folder = os.path.join(work, build)
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            # Both see the same absolute folders; Wine reaches them on Z:.
            def spelt(items):
                if build == "linux":
                    return items
                return ";".join("Z:" + item.replace("/", "\\") for item in items.split(";"))
            keys = dict(extra)
            if "SOURCE_FILE_CODE_PAGES_BY_FOLDER" in keys:
                keys["SOURCE_FILE_CODE_PAGES_BY_FOLDER"] = spelt(
                    keys["SOURCE_FILE_CODE_PAGES_BY_FOLDER"].replace("tree/", work + "/tree/"))
            server_table = "T_compare_" + build
            through_odbc = keys.get("DESTINATION_ENGINE") == "ODBC"
            if through_odbc:
                psql('DROP TABLE IF EXISTS "%s"; CREATE TABLE "%s" (LineId bigserial PRIMARY KEY, '
                     'MyCodeLine text, FileName text, LineNo integer)' % (server_table, server_table), pg_env)
                keys["DESTINATION_TABLE_NAME"] = "[%s]" % server_table
            config(os.path.join(folder, "MyConfig.xml"), spelt(folders), keys)
            run(command + ["--config", "MyConfig.xml"], folder, env)
            if through_odbc:
                found = psql(SELECT % ('"%s"' % server_table), pg_env)
                psql('DROP TABLE "%s"' % server_table, pg_env)
            else:
                found = sqlite_rows(os.path.join(folder, "out.db"))
            tables.append(normalised(found, work, build == "windows"))
        linux_rows, windows_rows = tables
        if linux_rows == windows_rows:
            print("compare-builds: %s: the same %d rows from both builds" % (name, len(linux_rows)))
            continue
        failed = True
        for a, b in zip(linux_rows, windows_rows):
            if a != b:
                print("compare-builds: %s: rows differ\n  linux:   %r\n  windows: %r" % (name, a, b))
                break
        else:
            print("compare-builds: %s: %d rows from Linux, %d from Windows" % (name, len(linux_rows),
                                                                             len(windows_rows)))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
