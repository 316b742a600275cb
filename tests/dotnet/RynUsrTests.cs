// The cases of the Python suite for RynUsr.cs, run under Mono against the
// build's library and simulator. A test is a method that throws on failure.
//   mono RynUsrTests.exe HEADER SCRATCH [RYN]    (exit status 0 when every test passes)
// HEADER is ryn_usr.h (the block layout and major version are checked against
// it), SCRATCH a folder for the files, RYN the build's ryn (for images).
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using System.Threading;
using RynUsr;

static class RynUsrTests
{
    static string header, scratch, ryn;

    static void Check(bool condition, string what)
    {
        if (!condition) throw new Exception("check failed: " + what);
    }

    static string File_(string name) { return Path.Combine(scratch, name); }

    static string IniValue(string path, string key)
    {
        foreach (string line in File.ReadAllLines(path))
            if (line.StartsWith(key + "=")) return line.Substring(key.Length + 1);
        throw new Exception(key + " not in " + path);
    }

    static void WithValue(string source, string target, string key, string value)
    {
        Regex line = new Regex("^" + Regex.Escape(key) + "=[^\r\n]*", RegexOptions.Multiline);
        string text = File.ReadAllText(source);
        Check(line.IsMatch(text), key + " in " + source);
        File.WriteAllText(target, line.Replace(text, key + "=" + value, 1));
    }

    static T Throws<T>(Action action) where T : Exception
    {
        try
        {
            action();
        }
        catch (T e)
        {
            return e;
        }
        throw new Exception("no " + typeof(T).Name);
    }

    // --- the tests ------------------------------------------------------------------

    static void BlocksAreLaidOutAsTheHeaderAsserts()
    {
        string text = File.ReadAllText(header);
        var blocks = new Dictionary<string, Type> {
            { "cali_info_arg", typeof(RynUsr.Native.CaliInfoArg) },
            { "fw_update_arg", typeof(RynUsr.Native.FwUpdateArg) },
        };
        foreach (Match m in Regex.Matches(text, @"sizeof\((\w+)\) == (\d+)"))
            if (blocks.ContainsKey(m.Groups[1].Value))
                Check(Marshal.SizeOf(blocks[m.Groups[1].Value]) == int.Parse(m.Groups[2].Value), m.Value);
        int fields = 0;
        foreach (Match m in Regex.Matches(text, @"offsetof\((\w+), (\w+)\) == (\d+)"))
        {
            // file_name -> FileName, set_update_hdr_fn -> SetUpdateHdrFn
            string name = string.Concat(m.Groups[2].Value.Split('_').Select(p => char.ToUpper(p[0]) + p.Substring(1)));
            Check(Marshal.OffsetOf(blocks[m.Groups[1].Value], name).ToInt64() == long.Parse(m.Groups[3].Value), m.Value);
            ++fields;
        }
        Check(fields == blocks.Values.Sum(t => t.GetFields().Length), "every field is asserted by the header");
    }

    static void VersionIsTheProjectVersionAndMajorTheHeaders()
    {
        string version = Ryn.Version();
        string project = Environment.GetEnvironmentVariable("RYN_USR_PROJECT_VERSION");
        Check(project == null || version == project, version + " is " + project);
        Check(version.StartsWith(Ryn.LibraryMajor + "."), version);
        Check(Regex.IsMatch(File.ReadAllText(header), @"#define RYN_USR_VERSION_MAJOR " + Ryn.LibraryMajor + @"\b"),
              "the header's major version");
    }

    struct RoundTrip
    {
        public string Family, Key, Value;
        public bool Calibration;
        public int Device;
        public RoundTrip(string family, bool calibration, int device, string key, string value)
        {
            Family = family; Calibration = calibration; Device = device; Key = key; Value = value;
        }
    }

    static readonly RoundTrip[] RoundTrips = {
        new RoundTrip("base", true, 0, "cam0_middle_b_l", "123"),
        new RoundTrip("base", false, 0, "serial_num", "SN-DOTNET"),
        new RoundTrip("5810", true, 0, "cam0_poly_c0", "+1.5000000000e+000"),
        new RoundTrip("5810", false, 0, "serial_num", "SN-DOTNET"),
        new RoundTrip("5920", true, 0, "cam0_poly_c0", "77"),
        new RoundTrip("5920", false, 0, "serial_num", "SN-DOTNET"),
        new RoundTrip("6cam", true, 2, "cam0_poly_c0", "-2.5000000000e+000"),
        new RoundTrip("6cam", false, 0, "serial_num", "SN-DOTNET"),
    };

    static void GetSetRoundTripOnEachFamily()
    {
        foreach (RoundTrip t in RoundTrips)
        {
            string what = t.Family + (t.Calibration ? " calibration" : " device information");
            // Each case starts from new files: a GET merges into an existing file, and
            // the library refuses one that holds the other request's data.
            foreach (string name in new[] { "got.ini", "changed.ini", "again.ini" }) File.Delete(File_(name));
            ulong handle = Simulator.Create(t.Family);
            Func<ulong, string, int, Action<uint, uint>, IList<string>> get = (h, p, d, pr) => Ryn.DeviceInfoGet(h, p, d, pr);
            Func<ulong, string, int, Action<uint, uint>, IList<string>> set = (h, p, d, pr) => Ryn.DeviceInfoSet(h, p, d, pr);
            if (t.Calibration)
            {
                get = (h, p, d, pr) => Ryn.CalibrationGet(h, p, d, pr);
                set = (h, p, d, pr) => Ryn.CalibrationSet(h, p, CalibrationForm.Ini, d, pr);
            }
            Check(get(handle, File_("got.ini"), t.Device, null).Count == 0, what + ": GET without messages");
            Check(IniValue(File_("got.ini"), t.Key) != t.Value, what + ": a new value");
            WithValue(File_("got.ini"), File_("changed.ini"), t.Key, t.Value);
            Check(set(handle, File_("changed.ini"), t.Device, null).Count == 0, what + ": SET without messages");
            get(handle, File_("again.ini"), t.Device, null);
            Check(IniValue(File_("again.ini"), t.Key) == t.Value, what + ": the value read back");
        }
    }

    static void RefusedSetThrowsWithTheLibrarysMessage()
    {
        ulong handle = Simulator.Create("base");
        Ryn.CalibrationGet(handle, File_("before.ini"));
        WithValue(File_("before.ini"), File_("bad.ini"), "cam0_middle_b_l", "zz");
        RynException e = Throws<RynException>(() => Ryn.CalibrationSet(handle, File_("bad.ini")));
        Check(e.Message == "[Error] Bad value of cam0_middle_b_l: zz.", e.Message);
        Check(e.Messages[e.Messages.Count - 1] == e.Message && e.Operation == "ryn_cali_info", "the last message");
        Ryn.CalibrationGet(handle, File_("after.ini"));
        Check(File.ReadAllText(File_("after.ini")) == File.ReadAllText(File_("before.ini")), "the device unchanged");
    }

    static void LoneSurrogateNamesTheBytesThatAreNotUtf8()
    {
        ulong handle = Simulator.Create("base");
        string name = File_("caf\uDCE9.ini");  // the name's byte 0xE9
        Ryn.CalibrationGet(handle, name);
        Ryn.CalibrationSet(handle, name);
        RynException e = Throws<RynException>(() => Ryn.CalibrationSet(handle, File_("gon\uDCE9.ini")));
        Check(e.Message.Contains(File_("gon\uDCE9.ini")), e.Message);
    }

    static void StaleHandleThrowsWithAMessage()
    {
        ulong handle = Simulator.Create("base");
        Simulator.Reset();
        RynException e = Throws<RynException>(() => Ryn.CalibrationGet(handle, File_("stale.ini")));
        Check(e.Messages.Count > 0, "a message: " + e.Message);
    }

    static void ProgressRunsFromZeroToTotalAndStopsAtAFailure()
    {
        ulong handle = Simulator.Create("base");
        var steps = new List<uint>();
        Ryn.DeviceInfoGet(handle, File_("info.ini"), progress: (step, total) => { Check(total == 5, "total"); steps.Add(step); });
        Check(steps.First() == 0 && steps.Last() == 5, "steps 0 to 5: " + string.Join(",", steps));
        Check(steps.SequenceEqual(steps.OrderBy(s => s)), "steps in order");
        steps.Clear();
        Throws<RynException>(() => Ryn.CalibrationSet(handle, File_("missing.ini"), progress: (step, total) => steps.Add(step)));
        Check(steps.Count > 0 && steps.Last() < 5, "a failure stops early");
    }

    static void AnExceptionOfACallbackReachesTheCaller()
    {
        ulong handle = Simulator.Create("base");
        RynException e = Throws<RynException>(() => Ryn.CalibrationGet(handle, File_("cb.ini"),
            progress: (step, total) => { throw new InvalidOperationException("stop"); }));
        Check(e.InnerException is InvalidOperationException, "the callback's exception inside");
    }

    static string BaseImage()
    {
        string image = File_("fw.bin");
        var start = new ProcessStartInfo(ryn, "image build --format base -o \"" + image + "\"") { UseShellExecute = false };
        using (Process p = Process.Start(start))
        {
            p.WaitForExit();
            Check(p.ExitCode == 0, "ryn image build");
        }
        return image;
    }

    static void FirmwareUpdateResetsThroughTheCallback()
    {
        string image = BaseImage();
        ulong handle = Simulator.Create("base");
        int resets = 0;
        var steps = new List<uint>();
        UpdateResult done = Ryn.FirmwareUpdate(handle, image, () => { ++resets; return Simulator.Reset(); },
                                               setUpdateHeader: Simulator.SwitchToUpdateMode,
                                               progress: (step, total) => steps.Add(step));
        Check(resets > 0 && done.Handle == Simulator.Handle() && done.Handle != handle, "the new handle");
        Check(done.Mode == UpdateMode.Normal && steps.Last() == 8, "normal update to step 8");
        Check(Simulator.Trace().Count(c => c.Key == "reset") == resets, "every reset through the callback");

        // A reset that fails (a simulated fault, or a callback answering the invalid handle).
        foreach (bool fault in new[] { true, false })
        {
            handle = Simulator.Create("base");
            if (fault) Simulator.Fail("reset");
            Func<ulong> reset = fault ? (Func<ulong>)Simulator.Reset : () => Ryn.InvalidHandle;
            RynException e = Throws<RynException>(() => Ryn.FirmwareUpdate(handle, image, reset, setUpdateHeader: Simulator.SwitchToUpdateMode));
            Check(e.Messages.Count > 0, "a failed reset says so");
        }
    }

    static void TwoThreadsGetTheirOwnResultsAndMessages()
    {
        ulong handle = Simulator.Create("base");
        Ryn.CalibrationGet(handle, File_("good.ini"));
        WithValue(File_("good.ini"), File_("bad.ini"), "cam1_middle_b_l", "bad");
        var errors = new List<string>();
        Exception failure = null;
        var getter = new Thread(() => {
            try { for (int i = 0; i < 20; ++i) Ryn.CalibrationGet(handle, File_("got" + i + ".ini")); }
            catch (Exception e) { failure = e; }
        });
        var refused = new Thread(() => {
            for (int i = 0; i < 20; ++i)
            {
                try { Ryn.CalibrationSet(handle, File_("bad.ini")); }
                catch (RynException e) { lock (errors) errors.Add(string.Join("|", e.Messages)); }
            }
        });
        getter.Start(); refused.Start();
        getter.Join(); refused.Join();
        Check(failure == null, "the GETs: " + failure);
        Check(errors.Count == 20 && errors.All(m => m == "[Error] Bad value of cam1_middle_b_l: bad."), "each SET its own message");
        string good = File.ReadAllText(File_("good.ini"));
        for (int i = 0; i < 20; ++i) Check(File.ReadAllText(File_("got" + i + ".ini")) == good, "GET " + i);
    }

    static void BadArgumentsAreRefusedBeforeTheDeviceIsTouched()
    {
        ulong handle = Simulator.Create("base");
        Throws<ArgumentOutOfRangeException>(() => Ryn.CalibrationGet(handle, File_("x.ini"), device: 3));
        Throws<ArgumentOutOfRangeException>(() => Ryn.CalibrationSet(handle, File_("x.ini"), (CalibrationForm)99));
        Throws<ArgumentException>(() => Ryn.CalibrationGet(handle, "a\0b"));
        Throws<ArgumentNullException>(() => Ryn.FirmwareUpdate(handle, File_("x.bin"), null));
        Check(Simulator.Trace().Count == 0, "no device call");
        Check(Throws<RynException>(() => Simulator.Create("toaster")).Message.Length > 0, "the simulator's reason");
    }

    static int Main(string[] args)
    {
        header = args[0];
        scratch = args[1];
        ryn = args.Length > 2 ? args[2] : null;
        Directory.CreateDirectory(scratch);
        Simulator.Handle();  // the simulator first, so that the library binds to it
        var tests = new List<Action> {
            BlocksAreLaidOutAsTheHeaderAsserts, VersionIsTheProjectVersionAndMajorTheHeaders,
            GetSetRoundTripOnEachFamily, RefusedSetThrowsWithTheLibrarysMessage,
            LoneSurrogateNamesTheBytesThatAreNotUtf8, StaleHandleThrowsWithAMessage,
            ProgressRunsFromZeroToTotalAndStopsAtAFailure, AnExceptionOfACallbackReachesTheCaller,
            TwoThreadsGetTheirOwnResultsAndMessages, BadArgumentsAreRefusedBeforeTheDeviceIsTouched,
        };
        if (ryn != null) tests.Add(FirmwareUpdateResetsThroughTheCallback);
        int failed = 0;
        foreach (Action test in tests)
        {
            try
            {
                test();
                Console.WriteLine("PASS " + test.Method.Name);
            }
            catch (Exception e)
            {
                ++failed;
                Console.WriteLine("FAIL " + test.Method.Name + ": " + e);
            }
        }
        Console.WriteLine("{0} of {1} passed", tests.Count - failed, tests.Count);
        return failed == 0 ? 0 : 1;
    }
}
