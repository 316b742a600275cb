// ryn_usr from C#: a calibration GET, one value changed, a SET, and a refused
// SET, on a simulated base controller. Writes its files into the current folder.
//   mcs -out:QuickStart.exe QuickStart.cs <prefix>/share/ryn_usr/dotnet/RynUsr.cs
//   RYN_USR_LIBRARY=<prefix>/lib/libryn_usr.so.0 mono QuickStart.exe
using System;
using System.IO;
using System.Text.RegularExpressions;
using RynUsr;

static class QuickStart
{
    // The INI text with one key's value replaced (the library writes CRLF lines).
    static string WithValue(string text, string key, string value)
    {
        return Regex.Replace(text, "(?m)^" + key + "=[^\r\n]*", key + "=" + value);
    }

    static int Main()
    {
        ulong handle = Simulator.Create("base");  // tests only: the simulator, before the first call
        Console.WriteLine("ryn_usr " + Ryn.Version());

        // GET: the device's calibration into an INI file, with progress.
        Ryn.CalibrationGet(handle, "cali.ini", progress: (step, total) => Console.WriteLine("step {0}/{1}", step, total));

        // SET: one value changed; the file is read whole before the device is written.
        string text = File.ReadAllText("cali.ini");
        File.WriteAllText("changed.ini", WithValue(text, "cam0_middle_b_l", "123"));
        Console.WriteLine("SET done, {0} warning(s)", Ryn.CalibrationSet(handle, "changed.ini").Count);
        Ryn.CalibrationGet(handle, "again.ini");
        if (!Regex.IsMatch(File.ReadAllText("again.ini"), "(?m)^cam0_middle_b_l=123\r?$"))
        {
            Console.Error.WriteLine("the SET did not reach the device");
            return 1;
        }

        // A refused SET throws RynException; its Message is the library's last message.
        File.WriteAllText("bad.ini", WithValue(text, "cam0_middle_b_l", "zz"));
        try
        {
            Ryn.CalibrationSet(handle, "bad.ini");
            Console.Error.WriteLine("the bad value was taken");
            return 1;
        }
        catch (RynException e)
        {
            Console.WriteLine("refused: " + e.Message);
            if (!e.Message.Contains("Bad value of cam0_middle_b_l")) return 1;  // not the reason expected
        }
        Console.WriteLine("quick start: all done");
        return 0;
    }
}
