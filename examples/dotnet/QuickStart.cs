// ryn_usr from C#: a calibration GET, one value changed, a SET, and a refused
// SET, on a simulated base controller. Writes its files into the current folder.
//   mcs -out:QuickStart.exe QuickStart.cs <prefix>/share/ryn_usr/dotnet/RynUsr.cs
//   RYN_USR_LIBRARY=<prefix>/lib/libryn_usr.so.0 mono QuickStart.exe
using System;
using System.IO;
using RynUsr;

static class QuickStart
{
    static int Main()
    {
        ulong handle = Simulator.Create("base");  // tests only: the simulator, before the first call
        Console.WriteLine("ryn_usr " + Ryn.Version());

        // GET: the device's calibration into an INI file, with progress.
        Ryn.CalibrationGet(handle, "cali.ini", progress: (step, total) => Console.WriteLine("step {0}/{1}", step, total));

        // SET: one value changed; the file is read whole before the device is written.
        string text = File.ReadAllText("cali.ini");
        File.WriteAllText("changed.ini", text.Replace("\ncam0_middle_b_l=100\n", "\ncam0_middle_b_l=123\n"));
        Console.WriteLine("SET done, {0} warning(s)", Ryn.CalibrationSet(handle, "changed.ini").Count);
        Ryn.CalibrationGet(handle, "again.ini");
        if (!File.ReadAllText("again.ini").Contains("\ncam0_middle_b_l=123\n")) return 1;

        // A refused SET throws RynException; its Message is the library's last message.
        File.WriteAllText("bad.ini", text.Replace("\ncam0_middle_b_l=100\n", "\ncam0_middle_b_l=zz\n"));
        try
        {
            Ryn.CalibrationSet(handle, "bad.ini");
            return 1;
        }
        catch (RynException e)
        {
            Console.WriteLine("refused: " + e.Message);
            if (!e.Message.Contains("Bad value of cam0_middle_b_l")) return 1;
        }
        Console.WriteLine("quick start: all done");
        return 0;
    }
}
