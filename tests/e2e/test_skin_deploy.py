"""Skin engine deployment, end to end: the program writes the engine it
carries beside itself when no entry of that name is there, hidden; leaves any
existing entry alone; and when no engine can be loaded, ends in the fatal
report before it makes any network request.

The engine file the program carries is the FmSkin.dll of the same build
(build/win64/skinengine, build/win32/skinengine), so the written file is
compared against that.
"""
import os
import shutil
import subprocess
import unittest

from fmbench import BUILD_ROOT, Bench, gbk, hexs

DOWNLOAD = "/wz/marrowick.txt"
FLAG = "/bb/22.txt"
ENGINE = "FmSkin.dll"
WM_CLOSE = 0x0010
IDOK = 1
CHINESE = {"LC_ALL": "zh_CN.UTF-8"}

REPORT_CAPTION = gbk("错误")
# The fatal report for row 0 of the library table: the library or its
# function can't be found.
ROW0_REPORT = (gbk("运行时出错!") + b"\r\n\r\n" + gbk("错误信息：") +
               gbk("无法找到指定DLL库文件“FmSkin.dll”中的输出命令“FmSkin_Attach”") + b"\r\n")


def built_engine(arch):
    return os.path.join(BUILD_ROOT, "win%d" % arch, "skinengine", ENGINE)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def dos_attributes(path):
    """The DOS attributes Wine keeps beside a file (hidden and system only;
    read-only is the file mode), or None when none were ever set."""
    try:
        return os.getxattr(path, "user.DOSATTRIB")
    except OSError:
        return None


def fingerprint(path):
    """What changes when a file is rewritten, replaced, or its attributes set
    (the status change time covers the last)."""
    st = os.stat(path)
    return (st.st_ino, st.st_size, st.st_mtime_ns, st.st_ctime_ns, dos_attributes(path))


def engines_on_search_path():
    """Copies of the engine where the system's library search would find the
    bare name (the program directory aside)."""
    windows = os.path.join(os.environ.get("WINEPREFIX", ""), "drive_c", "windows")
    found = []
    for d in (windows, os.path.join(windows, "system32"), os.path.join(windows, "syswow64")):
        try:
            found += [os.path.join(d, n) for n in os.listdir(d) if n.lower() == ENGINE.lower()]
        except OSError:
            pass
    return found


class SkinDeployCase(unittest.TestCase):
    def setUp(self):
        # A copy elsewhere would be loaded in place of a missing or unusable
        # one in the program directory and hide what these tests look for.
        self.assertEqual(engines_on_search_path(), [], "an engine lies on the library search path")

    def serve_current(self, bench):
        bench.update.route(DOWNLOAD, body=b"http://download.fenlow.test/\r\n")
        bench.update.route(FLAG, body=b"1")

    def run_to_window_and_close(self, bench, case, timeout=None):
        program = bench.start(env=CHINESE)
        window = bench.main_window(program.pid, timeout=timeout)
        self.assertEqual(bench.driver("msgboxes", str(program.pid)), [], case)
        bench.driver("post", str(window["hwnd"]), str(WM_CLOSE), "0", "0")
        self.assertEqual(program.wait_exit(timeout=timeout), 0, case)

    def assert_fresh_engine(self, bench, arch, case):
        path = os.path.join(bench.program_dir, ENGINE)
        self.assertTrue(os.path.isfile(path), "%s: no %s written" % (case, ENGINE))
        self.assertEqual(read(path), read(built_engine(arch)),
                         "%s: the written file is not the engine of this build" % case)
        self.assertEqual(dos_attributes(path), b"0x2", "%s: not hidden only" % case)
        self.assertTrue(os.stat(path).st_mode & 0o200, "%s: written read-only" % case)
        self.assertEqual(sorted(os.listdir(bench.program_dir)), sorted([bench.exe_name, ENGINE]),
                         "%s: other files left in the program directory" % case)

    def assert_row0_report_before_network(self, bench, program, case):
        bench.message_box(program.pid)

        def box_with_button():
            # The box shows before its button does; wait for the whole box.
            boxes = bench.driver("msgboxes", str(program.pid), check=False) or []
            return next((b for b in boxes if isinstance(b, dict) and b.get("visible")
                         and [x for x in b["buttons"] if x["id"] == IDOK]), None)
        box = bench.wait_for(box_with_button, what="%s: the report's OK button" % case)
        self.assertEqual(box["title_hex"], hexs(REPORT_CAPTION), case)
        self.assertEqual(box["text_hex"], hexs(ROW0_REPORT), case)
        self.assertEqual(bench.update.requests, [], "%s: a network request came before the report" % case)
        ok = [b for b in box["buttons"] if b["id"] == IDOK]
        bench.driver("click", str(ok[0]["hwnd"]))
        self.assertEqual(program.wait_exit(), -1, case)
        self.assertEqual(bench.update.requests, [], "%s: a network request after the report" % case)


class FirstAndLaterRunsTest(SkinDeployCase):
    def test_first_run_writes_the_hidden_engine_and_the_second_rewrites_nothing(self):
        with Bench(self) as bench:
            self.serve_current(bench)
            self.run_to_window_and_close(bench, "first run")
            self.assert_fresh_engine(bench, 64, "first run")
            path = os.path.join(bench.program_dir, ENGINE)
            before = fingerprint(path)

            self.run_to_window_and_close(bench, "second run")
            self.assertEqual(fingerprint(path), before, "the second run touched the engine file")
            self.assertEqual(sorted(os.listdir(bench.program_dir)), sorted([bench.exe_name, ENGINE]))

    def test_a_present_engine_keeps_its_attributes(self):
        # Same bytes as the carried engine but never marked hidden: it counts
        # as present, loads, and nobody marks it.
        with Bench(self) as bench:
            self.serve_current(bench)
            path = os.path.join(bench.program_dir, ENGINE)
            with open(path, "wb") as f:
                f.write(read(built_engine(64)))
            before = fingerprint(path)
            self.run_to_window_and_close(bench, "visible engine")
            self.assertEqual(fingerprint(path), before)
            self.assertIsNone(dos_attributes(path))


class EngineLoadedFromProgramDirectoryTest(SkinDeployCase):
    def test_the_written_engine_is_the_one_loaded(self):
        with Bench(self, exe="FenlowMarrowick2-seams.exe") as bench:
            self.serve_current(bench)
            log = os.path.join(bench.work_dir, "seams.log")
            program = bench.start(env=dict(CHINESE, FM_SEAM_LOG=bench.win_path(log)))
            window = bench.main_window(program.pid)
            bench.driver("post", str(window["hwnd"]), str(WM_CLOSE), "0", "0")
            self.assertEqual(program.wait_exit(), 0)
            loads = [l for l in read(log).decode("latin-1").splitlines()
                     if l.startswith("load-library ") and l.lower().endswith(ENGINE.lower())]
            expected = "load-library " + bench.win_path(os.path.join(bench.program_dir, ENGINE))
            self.assertEqual([l.lower() for l in loads], [expected.lower()])


class DriveRootTest(SkinDeployCase):
    def test_an_executable_in_a_drive_root_writes_the_engine_into_that_root(self):
        # The program directory is then "C:" alone; the engine goes to C:\FmSkin.dll.
        drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
        root_exe = os.path.join(drive_c, "FenlowMarrowick2-skinroot.exe")
        engine = os.path.join(drive_c, ENGINE)
        if os.path.lexists(engine):
            os.unlink(engine)  # left by an earlier run of this test that was cut short
        with Bench(self) as bench:
            self.serve_current(bench)
            shutil.copy(bench.exe_path, root_exe)
            try:
                program = bench.start(env=CHINESE, exe=root_exe)
                window = bench.main_window(program.pid)
                bench.driver("post", str(window["hwnd"]), str(WM_CLOSE), "0", "0")
                self.assertEqual(program.wait_exit(), 0)
                self.assertTrue(os.path.isfile(engine), "no engine in the drive root")
                self.assertEqual(read(engine), read(built_engine(64)))
                self.assertEqual(dos_attributes(engine), b"0x2")
                self.assertFalse(os.path.exists(os.path.join(bench.program_dir, ENGINE)),
                                 "the engine went to the working directory")
                self.assertFalse([n for n in os.listdir(drive_c) if n.lower().startswith("fmskin.dll.")],
                                 "a temporary file was left in the drive root")
            finally:
                os.unlink(root_exe)
                if os.path.lexists(engine):
                    os.unlink(engine)


class ExistingEntryTest(SkinDeployCase):
    def test_an_entry_that_is_no_engine_is_left_alone_and_ends_in_the_report(self):
        cases = [
            ("file of other content", "file", b"this is not a library\r\n"),
            ("empty file", "file", b""),
            ("directory", "dir", None),
        ]
        for case, kind, content in cases:
            with self.subTest(case=case):
                with Bench(self) as bench:
                    self.serve_current(bench)
                    path = os.path.join(bench.program_dir, ENGINE)
                    if kind == "dir":
                        os.mkdir(path)
                    else:
                        with open(path, "wb") as f:
                            f.write(content)
                    before = fingerprint(path)

                    program = bench.start(env=CHINESE)
                    self.assert_row0_report_before_network(bench, program, case)

                    self.assertEqual(fingerprint(path), before, "%s: the entry was touched" % case)
                    if kind == "dir":
                        self.assertEqual(os.listdir(path), [], case)
                    else:
                        self.assertEqual(read(path), content, case)
                    self.assertEqual(sorted(os.listdir(bench.program_dir)),
                                     sorted([bench.exe_name, ENGINE]), case)


class ReadOnlyProgramDirectoryTest(SkinDeployCase):
    def test_unwritable_directory_ends_in_the_report_and_leaves_nothing(self):
        with Bench(self) as bench:
            self.serve_current(bench)
            d = bench.program_dir
            # Root ignores permissions; a read-only mount binds even root.
            subprocess.run(["mount", "--bind", d, d], check=True)
            try:
                subprocess.run(["mount", "-o", "remount,bind,ro", d], check=True)
                with self.assertRaises(OSError, msg="the program directory is still writable"):
                    open(os.path.join(d, "probe"), "wb").close()
                program = bench.start(env=CHINESE)
                self.assert_row0_report_before_network(bench, program, "read-only directory")
                self.assertEqual(os.listdir(d), [bench.exe_name], "files left behind")
            finally:
                subprocess.run(["umount", d], check=True)


class AllocationFailureTest(SkinDeployCase):
    def test_a_skin_block_that_cannot_be_had_ends_in_the_memory_report(self):
        with Bench(self, exe="FenlowMarrowick2-seams.exe") as bench:
            self.serve_current(bench)
            skin4 = os.path.getsize(os.path.join(BUILD_ROOT, "win64", "skins", "skin04.fms"))
            log = os.path.join(bench.work_dir, "seams.log")
            program = bench.start(env=dict(CHINESE, FM_SEAM_LOG=bench.win_path(log),
                                           FM_SEAM_INJECT="fail-alloc=%d,fatal-no-box" % (skin4 + 8)))
            self.assertEqual(program.wait_exit(), -1)
            reports = [l for l in read(log).decode("latin-1").splitlines() if l.startswith("fatal-report ")]
            self.assertEqual(len(reports), 1, reports)
            self.assertIn(hexs(gbk("分配 %d 字节内存失败!" % (skin4 + 8))), reports[0])
            self.assertEqual(bench.update.requests, [])


# The 32-bit program writing and running the 32-bit engine is checked in the
# 32-bit start-up smoke run (test_update.Win32SmokeTest): each 32-bit process
# costs about a minute here, so the 32-bit checks share one run.


if __name__ == "__main__":
    unittest.main()
