// RynUsr.cs: ryn_usr for .NET (Framework 4.x, .NET 6 or later, Mono). One
// source file to compile into the host; it loads libryn_usr (ryn_usr.dll on
// Windows) at the first call and calls its exports on the argument blocks of
// ryn_usr.h.
//
// The library is RYN_USR_LIBRARY when set, else ryn_usr.dll / libryn_usr.so.0
// as the system's loader finds it (the host's folder first). Unless the host
// has set RYN_USR_DEFINITIONS_DIR, it is set to the definition files' folder
// of the tree the library came from (share/ryn_usr, or the library's own
// folder when they lie there). For tests, Simulator drives the simulated
// device library; use it before the first call of Ryn.
//
// Every operation returns the call's messages (warnings) and throws
// RynException on failure, whose Messages hold every message of the call
// (formatted by ryn_format_msg) and whose Message is the last one. Callbacks
// run on the calling thread while the library holds its lock: a callback must
// never wait for another thread that calls the library (a UI thread's Invoke
// from a progress callback, while that thread calls the library, deadlocks).
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace RynUsr
{
    /// <summary>A call of the library failed.</summary>
    public sealed class RynException : Exception
    {
        /// <summary>Every message of the call, formatted, without the final newline.</summary>
        public IList<string> Messages { get; private set; }
        /// <summary>The export that failed, e.g. "ryn_cali_info".</summary>
        public string Operation { get; private set; }

        public RynException(string operation, IList<string> messages)
            : base(messages.Count > 0 ? messages[messages.Count - 1] : operation + " failed without a message")
        {
            Operation = operation;
            Messages = new List<string>(messages).AsReadOnly();
        }

        internal RynException(string operation, IList<string> messages, Exception inner)
            : base(inner.Message, inner)
        {
            Operation = operation;
            Messages = new List<string>(messages).AsReadOnly();
        }
    }

    /// <summary>The form of a calibration file for CalibrationSet.</summary>
    public enum CalibrationForm { Ini = 0, Text = 0x04, CompactIni = 0x08 }

    /// <summary>What a firmware update writes.</summary>
    public enum UpdateMode { Normal = 0, Layout = 1, Auto = 2 }

    /// <summary>The outcome of a firmware update.</summary>
    public sealed class UpdateResult
    {
        /// <summary>The device's handle after the update's resets.</summary>
        public ulong Handle { get; internal set; }
        /// <summary>Normal or Layout: what the update ran (Auto resolved).</summary>
        public UpdateMode Mode { get; internal set; }
        /// <summary>The update's messages: the image header's report and warnings.</summary>
        public IList<string> Messages { get; internal set; }
    }

    /// <summary>The operations of ryn_usr as static methods.</summary>
    public static class Ryn
    {
        public const ulong InvalidHandle = ulong.MaxValue;
        /// <summary>The library's major version this wrapper is written for.</summary>
        public const int LibraryMajor = 0;

        internal const uint FlagGet = 0x01, FlagSet = 0x02, DevVersionStr = 0x04, DevModelCfg = 0x08;
        internal const uint Flag6CamDev1 = 0x10, Flag6CamDev2 = 0x20;
        const int MessageCapacity = 32768;

        /// <summary>The version of the loaded library, e.g. "0.1.0".</summary>
        public static string Version()
        {
            return Marshal.PtrToStringAnsi(Native.Library.Get().Version());
        }

        /// <summary>Writes the device's calibration into the INI file (section "calibration").</summary>
        public static IList<string> CalibrationGet(ulong handle, string path, int device = 0,
                                                   Action<uint, uint> progress = null)
        {
            return Request(true, handle, path, FlagGet | DeviceBits(device), progress);
        }

        /// <summary>Writes the calibration of the file to the device.</summary>
        public static IList<string> CalibrationSet(ulong handle, string path,
                                                   CalibrationForm form = CalibrationForm.Ini, int device = 0,
                                                   Action<uint, uint> progress = null)
        {
            if (!Enum.IsDefined(typeof(CalibrationForm), form)) throw new ArgumentOutOfRangeException("form");
            return Request(true, handle, path, FlagSet | (uint)form | DeviceBits(device), progress);
        }

        /// <summary>Writes the device's model configuration and parameters into the INI file.</summary>
        public static IList<string> DeviceInfoGet(ulong handle, string path, int device = 0,
                                                  Action<uint, uint> progress = null)
        {
            return Request(false, handle, path, FlagGet | DevModelCfg | DeviceBits(device), progress);
        }

        /// <summary>Writes the model configuration and parameters of the file to the device.</summary>
        public static IList<string> DeviceInfoSet(ulong handle, string path, int device = 0,
                                                  Action<uint, uint> progress = null)
        {
            return Request(false, handle, path, FlagSet | DevModelCfg | DeviceBits(device), progress);
        }

        /// <summary>Writes a base controller's version strings into the INI file.</summary>
        public static IList<string> VersionStringsGet(ulong handle, string path, int device = 0,
                                                      Action<uint, uint> progress = null)
        {
            return Request(false, handle, path, FlagGet | DevVersionStr | DeviceBits(device), progress);
        }

        /// <summary>
        /// Updates the firmware from the image file. reset resets or re-opens the device and
        /// returns its new handle (InvalidHandle on failure); every update needs it. A base
        /// controller needs setUpdateHeader(codeOffset, codeLength) as well, which switches a
        /// device running its flash builder into update mode and returns the new handle.
        /// </summary>
        public static UpdateResult FirmwareUpdate(ulong handle, string image, Func<ulong> reset,
                                                  UpdateMode mode = UpdateMode.Normal, string flashBuilder = null,
                                                  Func<uint, uint, ulong> setUpdateHeader = null, int device = 0,
                                                  Action<uint, uint> progress = null)
        {
            if (reset == null) throw new ArgumentNullException("reset");
            if (!Enum.IsDefined(typeof(UpdateMode), mode)) throw new ArgumentOutOfRangeException("mode");
            uint updateMode = (uint)mode | DeviceBits(device);
            Native.Library lib = Native.Library.Get();
            using (Call call = new Call(lib, progress))
            using (WideString imageName = new WideString(image, "image"))
            using (WideString builderName = flashBuilder != null ? new WideString(flashBuilder, "flashBuilder") : null)
            {
                Native.FwUpdateArg arg = new Native.FwUpdateArg();
                lib.FwUpdateInitArg(ref arg, handle, imageName.Pointer,
                                    builderName != null ? builderName.Pointer : IntPtr.Zero, updateMode);
                call.Attach(ref arg);
                Native.DevResetFn resetFn = delegate(IntPtr userData) { return call.Guarded(reset); };
                Native.SetUpdateHdrFn headerFn = null;
                if (setUpdateHeader != null)
                    headerFn = delegate(IntPtr userData, uint one, uint offset, uint length, uint zero) {
                        return call.Guarded(delegate { return setUpdateHeader(offset, length); });
                    };
                arg.DevResetFn = Marshal.GetFunctionPointerForDelegate(resetFn);
                arg.SetUpdateHdrFn = headerFn != null ? Marshal.GetFunctionPointerForDelegate(headerFn) : IntPtr.Zero;
                int result = lib.FwUpdate(ref arg);
                GC.KeepAlive(resetFn);
                GC.KeepAlive(headerFn);
                UpdateResult done = new UpdateResult();
                done.Messages = call.Finish("ryn_fw_update", result);
                done.Handle = arg.Handle;
                done.Mode = (arg.UpdateMode & 0x3) == (uint)UpdateMode.Layout ? UpdateMode.Layout : UpdateMode.Normal;
                return done;
            }
        }

        static uint DeviceBits(int device)
        {
            switch (device)
            {
            case 0: return 0;
            case 1: return Flag6CamDev1;
            case 2: return Flag6CamDev2;
            default: throw new ArgumentOutOfRangeException("device", "device is 1 or 2 (a 5810 device of a six-camera system), or 0");
            }
        }

        static IList<string> Request(bool calibration, ulong handle, string path, uint flags, Action<uint, uint> progress)
        {
            Native.Library lib = Native.Library.Get();
            using (Call call = new Call(lib, progress))
            using (WideString name = new WideString(path, "path"))
            {
                Native.CaliInfoArg arg = new Native.CaliInfoArg();
                if (calibration) lib.CaliInfoInitArg(ref arg, handle, name.Pointer, flags);
                else lib.DevInfoInitArg(ref arg, handle, name.Pointer, flags);
                call.Attach(ref arg);
                int result = calibration ? lib.CaliInfo(ref arg) : lib.DevInfo(ref arg);
                return call.Finish(calibration ? "ryn_cali_info" : "ryn_dev_info", result);
            }
        }

        // A path as the library takes it: NUL-terminated UTF-16, pinned for the
        // call. A .NET string is UTF-16 already; a POSIX name's byte 0x80..0xFF
        // that is not UTF-8 goes as the lone surrogate U+DC80..U+DCFF.
        sealed class WideString : IDisposable
        {
            GCHandle pin;
            public IntPtr Pointer { get { return pin.AddrOfPinnedObject(); } }

            public WideString(string text, string parameter)
            {
                if (text == null) throw new ArgumentNullException(parameter);
                if (text.IndexOf('\0') >= 0) throw new ArgumentException("a path holds a NUL character", parameter);
                pin = GCHandle.Alloc((text + "\0").ToCharArray(), GCHandleType.Pinned);
            }

            public void Dispose() { pin.Free(); }
        }

        // The callbacks of one call and what they collected. The delegates are
        // fields of this object, which lives until the call has returned.
        sealed class Call : IDisposable
        {
            readonly Native.Library lib;
            readonly List<string> messages = new List<string>();
            readonly Native.MsgFn msgFn;
            readonly Native.ProgressFn progressFn;
            IntPtr buffer;
            Exception error;  // the first exception a host callback threw

            public Call(Native.Library lib, Action<uint, uint> progress)
            {
                this.lib = lib;
                buffer = Marshal.AllocHGlobal(MessageCapacity * 2);
                msgFn = OnMessage;
                if (progress != null)
                    progressFn = delegate(IntPtr userData, uint step, uint total) {
                        Guarded(delegate { progress(step, total); return 0UL; });
                    };
            }

            public void Attach(ref Native.CaliInfoArg arg)
            {
                arg.MsgFn = Marshal.GetFunctionPointerForDelegate(msgFn);
                arg.ProgressFn = progressFn != null ? Marshal.GetFunctionPointerForDelegate(progressFn) : IntPtr.Zero;
            }

            public void Attach(ref Native.FwUpdateArg arg)
            {
                arg.MsgFn = Marshal.GetFunctionPointerForDelegate(msgFn);
                arg.ProgressFn = progressFn != null ? Marshal.GetFunctionPointerForDelegate(progressFn) : IntPtr.Zero;
            }

            void OnMessage(IntPtr userData, IntPtr format, IntPtr args)
            {
                int length = lib.FormatMsg(buffer, (UIntPtr)MessageCapacity, format, args);
                string text = length < 0
                    ? "(a message whose format the library could not format: " + Marshal.PtrToStringUni(format) + ")"
                    : Marshal.PtrToStringUni(buffer, Math.Min(length, MessageCapacity - 1));
                messages.Add(text.EndsWith("\n") ? text.Substring(0, text.Length - 1) : text);
            }

            // Runs a host callback: an exception must not cross the library's
            // frames, so it is kept, thrown when the call returns, and the
            // library gets the invalid handle.
            public ulong Guarded(Func<ulong> callback)
            {
                if (error != null) return InvalidHandle;
                try
                {
                    return callback();
                }
                catch (Exception e)
                {
                    error = e;
                    return InvalidHandle;
                }
            }

            public IList<string> Finish(string operation, int result)
            {
                GC.KeepAlive(msgFn);
                GC.KeepAlive(progressFn);
                if (error != null) throw new RynException(operation, messages, error);
                if (result != 1) throw new RynException(operation, messages);
                return messages.AsReadOnly();
            }

            public void Dispose()
            {
                if (buffer != IntPtr.Zero) Marshal.FreeHGlobal(buffer);
                buffer = IntPtr.Zero;
            }
        }
    }

    /// <summary>
    /// The simulated device library's control API (ryn_sim.h), for tests. The first use loads
    /// the simulator (RYN_USR_SIMULATOR, else beside the library or in its tree's simulator
    /// folder) before the library, so that the library binds to it.
    /// </summary>
    public static class Simulator
    {
        /// <summary>Creates the device of a family ("base", "5810", "5920", "6cam"); returns its handle.</summary>
        public static ulong Create(string family, string optionsJson = null)
        {
            return Checked(Native.Sim.Get().Create(family, optionsJson), "ryn_sim_create");
        }

        public static ulong Load(string path) { return Checked(Native.Sim.Get().Load(path), "ryn_sim_load"); }

        public static void Save(string path) { Checked(Native.Sim.Get().Save(path) != 0, "ryn_sim_save"); }

        /// <summary>The open device's handle (InvalidHandle when none).</summary>
        public static ulong Handle() { return Native.Sim.Get().Handle(); }

        /// <summary>The device's family, or null.</summary>
        public static string Family() { return Marshal.PtrToStringAnsi(Native.Sim.Get().Family()); }

        /// <summary>Power-cycles the device; returns the new handle, InvalidHandle when a fault fails it.</summary>
        public static ulong Reset() { return Native.Sim.Get().Reset(); }

        /// <summary>A base controller's setUpdateHeader: its flash builder hands over to update mode.</summary>
        public static ulong SwitchToUpdateMode(uint codeOffset, uint codeLength)
        {
            Native.Sim sim = Native.Sim.Get();
            if (sim.SetDevMode(sim.Handle(), 1, IntPtr.Zero) == 0) return Ryn.InvalidHandle;
            return sim.Reset();
        }

        /// <summary>The call-th call of the operation and the times - 1 after it fail (times 0: all).</summary>
        public static void Fail(string operation, uint call = 1, uint times = 1)
        {
            Checked(Native.Sim.Get().Fail(operation, call, times) != 0, "ryn_sim_fail");
        }

        public static void FailValue(string operation, uint call, uint times, long value)
        {
            Checked(Native.Sim.Get().FailValue(operation, call, times, value) != 0, "ryn_sim_fail_value");
        }

        public static void ClearFaults() { Native.Sim.Get().ClearFaults(); }

        /// <summary>The ryn_hid calls since create, load or ClearTrace: (operation, text) pairs.</summary>
        public static IList<KeyValuePair<string, string>> Trace()
        {
            Native.Sim sim = Native.Sim.Get();
            List<KeyValuePair<string, string>> calls = new List<KeyValuePair<string, string>>();
            ulong size = sim.TraceSize().ToUInt64();
            for (ulong i = 0; i < size; ++i)
            {
                IntPtr op = sim.TraceOp((UIntPtr)i), text = sim.TraceText((UIntPtr)i);
                if (op == IntPtr.Zero || text == IntPtr.Zero) break;  // cleared meanwhile
                calls.Add(new KeyValuePair<string, string>(Native.Utf8(op), Native.Utf8(text)));
            }
            return calls;
        }

        public static void ClearTrace() { Native.Sim.Get().TraceClear(); }

        static ulong Checked(ulong handle, string operation)
        {
            Checked(handle != Ryn.InvalidHandle, operation);
            return handle;
        }

        static void Checked(bool ok, string operation)
        {
            if (!ok)
                throw new RynException(operation, new[] { Native.Utf8(Native.Sim.Get().LastError()) });
        }
    }

    // Loading and the C declarations.
    static class Native
    {
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void MsgFn(IntPtr userData, IntPtr format, IntPtr args);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void ProgressFn(IntPtr userData, uint step, uint total);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate ulong DevResetFn(IntPtr userData);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate ulong SetUpdateHdrFn(IntPtr userData, uint one, uint codeOffset, uint codeLength, uint zero);

        // cali_info_arg (and dev_info_arg): packed to 4 bytes, 44 bytes.
        [StructLayout(LayoutKind.Sequential, Pack = 4)]
        public struct CaliInfoArg
        {
            public ulong Handle;
            public IntPtr FileName;
            public uint Flags;
            public IntPtr UserData;
            public IntPtr MsgFn;
            public IntPtr ProgressFn;
        }

        // fw_update_arg: packed to 4 bytes, 68 bytes.
        [StructLayout(LayoutKind.Sequential, Pack = 4)]
        public struct FwUpdateArg
        {
            public ulong Handle;
            public IntPtr FileName;
            public IntPtr FlashBuilderFileName;
            public uint UpdateMode;
            public IntPtr UserData;
            public IntPtr MsgFn;
            public IntPtr ProgressFn;
            public IntPtr DevResetFn;
            public IntPtr SetUpdateHdrFn;
        }

        // The sizes and offsets ryn_usr.h asserts, checked before the first call.
        public static readonly string[] CaliInfoOffsets = { "Handle:0", "FileName:8", "Flags:16", "UserData:20", "MsgFn:28", "ProgressFn:36" };
        public static readonly string[] FwUpdateOffsets = { "Handle:0", "FileName:8", "FlashBuilderFileName:16", "UpdateMode:24",
                                                            "UserData:28", "MsgFn:36", "ProgressFn:44", "DevResetFn:52",
                                                            "SetUpdateHdrFn:60" };

        static void CheckLayout(Type block, int size, string[] offsets)
        {
            if (IntPtr.Size != 8) throw new PlatformNotSupportedException("ryn_usr needs a 64-bit process");
            StringBuilder wrong = new StringBuilder();
            if (Marshal.SizeOf(block) != size) wrong.AppendFormat(" size {0} (not {1})", Marshal.SizeOf(block), size);
            foreach (string entry in offsets)
            {
                string[] parts = entry.Split(':');
                long at = Marshal.OffsetOf(block, parts[0]).ToInt64();
                if (at != long.Parse(parts[1])) wrong.AppendFormat(" {0} at {1} (not {2})", parts[0], at, parts[1]);
            }
            if (wrong.Length > 0) throw new InvalidOperationException(block.Name + " is not laid out as ryn_usr.h says:" + wrong);
        }

        public static string Utf8(IntPtr text)
        {
            if (text == IntPtr.Zero) return null;
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) ++length;
            byte[] bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }

        static IntPtr Utf8Alloc(string text)
        {
            if (text == null) return IntPtr.Zero;
            byte[] bytes = Encoding.UTF8.GetBytes(text);
            IntPtr p = Marshal.AllocHGlobal(bytes.Length + 1);
            Marshal.Copy(bytes, 0, p, bytes.Length);
            Marshal.WriteByte(p, bytes.Length, 0);
            return p;
        }

        static readonly object loadLock = new object();
        static bool IsWindows { get { return Path.DirectorySeparatorChar == '\\'; } }

        // --- the platform's loader ------------------------------------------------
        [DllImport("libc.so.6", EntryPoint = "dlopen")] static extern IntPtr DlOpen(string file, int mode);
        [DllImport("libc.so.6", EntryPoint = "dlsym")] static extern IntPtr DlSym(IntPtr module, string name);
        [DllImport("libc.so.6", EntryPoint = "dlerror")] static extern IntPtr DlError();
        [DllImport("libc.so.6", EntryPoint = "dladdr")] static extern int DlAddr(IntPtr address, out DlInfo info);
        [DllImport("libc.so.6", EntryPoint = "setenv")] static extern int SetEnv(string name, string value, int overwrite);
        [DllImport("kernel32", CharSet = CharSet.Unicode, SetLastError = true)] static extern IntPtr LoadLibraryW(string file);
        [DllImport("kernel32", CharSet = CharSet.Ansi)] static extern IntPtr GetProcAddress(IntPtr module, string name);
        [DllImport("kernel32", CharSet = CharSet.Unicode)] static extern int GetModuleFileNameW(IntPtr module, StringBuilder name, int size);
        [DllImport("kernel32", CharSet = CharSet.Unicode)] static extern bool SetEnvironmentVariableW(string name, string value);

        [StructLayout(LayoutKind.Sequential)]
        struct DlInfo { public IntPtr FileName, Base, SymbolName, SymbolAddress; }

        const int RtldNow = 2;

        static IntPtr Open(string file, out string why)
        {
            why = null;
            if (IsWindows)
            {
                IntPtr module = LoadLibraryW(file);
                if (module == IntPtr.Zero) why = "error " + Marshal.GetLastWin32Error();
                return module;
            }
            IntPtr handle = DlOpen(file, RtldNow);
            if (handle == IntPtr.Zero) why = Utf8(DlError());
            return handle;
        }

        static IntPtr Symbol(IntPtr module, string name)
        {
            return IsWindows ? GetProcAddress(module, name) : DlSym(module, name);
        }

        // The file a loaded module came from.
        static string ModulePath(IntPtr module, IntPtr symbol)
        {
            if (IsWindows)
            {
                StringBuilder name = new StringBuilder(32768);
                return GetModuleFileNameW(module, name, name.Capacity) > 0 ? name.ToString() : null;
            }
            DlInfo info;
            return DlAddr(symbol, out info) != 0 ? Utf8(info.FileName) : null;
        }

        static void SetEnvironment(string name, string value)
        {
            Environment.SetEnvironmentVariable(name, value);
            // .NET on Unix keeps its own copy of the environment; the library reads the process's.
            if (IsWindows) SetEnvironmentVariableW(name, value);
            else SetEnv(name, value, 1);
        }

        static string LibraryFileName { get { return IsWindows ? "ryn_usr.dll" : "libryn_usr.so.0"; } }

        // The library file the wrapper loads: RYN_USR_LIBRARY, else the one beside the host,
        // else the loader's own search.
        static string LibraryPath()
        {
            string named = Environment.GetEnvironmentVariable("RYN_USR_LIBRARY");
            if (!string.IsNullOrEmpty(named)) return named;
            string beside = Path.Combine(AppDomain.CurrentDomain.BaseDirectory, LibraryFileName);
            return File.Exists(beside) ? beside : LibraryFileName;
        }

        static T Function<T>(IntPtr module, string name, string file) where T : class
        {
            IntPtr address = Symbol(module, name);
            if (address == IntPtr.Zero) throw new DllNotFoundException(file + " exports no " + name);
            return (T)(object)Marshal.GetDelegateForFunctionPointer(address, typeof(T));
        }

        public sealed class Library
        {
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate IntPtr VersionFn();
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate void CaliInitFn(ref CaliInfoArg arg, ulong handle, IntPtr fileName, uint flags);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate int CaliFn(ref CaliInfoArg arg);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate void FwInitFn(ref FwUpdateArg arg, ulong handle, IntPtr fileName, IntPtr flashBuilder, uint mode);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate int FwFn(ref FwUpdateArg arg);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate int FormatFn(IntPtr buffer, UIntPtr capacity, IntPtr format, IntPtr args);

            public VersionFn Version;
            public CaliInitFn CaliInfoInitArg, DevInfoInitArg;
            public CaliFn CaliInfo, DevInfo;
            public FwInitFn FwUpdateInitArg;
            public FwFn FwUpdate;
            public FormatFn FormatMsg;
            public string Path;

            static Library loaded;

            public static Library Get()
            {
                lock (loadLock)
                {
                    if (loaded == null) loaded = Load();
                    return loaded;
                }
            }

            static Library Load()
            {
                CheckLayout(typeof(CaliInfoArg), 44, CaliInfoOffsets);
                CheckLayout(typeof(FwUpdateArg), 68, FwUpdateOffsets);
                string file = LibraryPath();
                string why;
                IntPtr module = Open(file, out why);
                if (module == IntPtr.Zero)
                {
                    string hint = why != null && why.Contains("ryn_hid")
                        ? "; the device library ryn_hid was not found: install the maker's, or use Simulator first for the simulator"
                        : "";
                    throw new DllNotFoundException("ryn_usr: cannot load " + file + ": " + why + hint);
                }
                Library lib = new Library();
                lib.Version = Function<VersionFn>(module, "ryn_usr_version", file);
                lib.Path = ModulePath(module, Symbol(module, "ryn_usr_version")) ?? file;
                string version = Marshal.PtrToStringAnsi(lib.Version());
                int dot = version.IndexOf('.');
                int major;
                if (dot <= 0 || !int.TryParse(version.Substring(0, dot), out major) || major != Ryn.LibraryMajor)
                    throw new DllNotFoundException("ryn_usr: " + lib.Path + " is version " + version +
                                                   "; this wrapper needs major version " + Ryn.LibraryMajor);
                lib.CaliInfoInitArg = Function<CaliInitFn>(module, "ryn_cali_info_init_arg", file);
                lib.DevInfoInitArg = Function<CaliInitFn>(module, "ryn_dev_info_init_arg", file);
                lib.CaliInfo = Function<CaliFn>(module, "ryn_cali_info", file);
                lib.DevInfo = Function<CaliFn>(module, "ryn_dev_info", file);
                lib.FwUpdateInitArg = Function<FwInitFn>(module, "ryn_fw_update_init_arg", file);
                lib.FwUpdate = Function<FwFn>(module, "ryn_fw_update", file);
                lib.FormatMsg = Function<FormatFn>(module, "ryn_format_msg", file);
                if (string.IsNullOrEmpty(Environment.GetEnvironmentVariable("RYN_USR_DEFINITIONS_DIR")))
                {
                    string definitions = DefinitionsDir(lib.Path);
                    if (definitions != null) SetEnvironment("RYN_USR_DEFINITIONS_DIR", definitions);
                }
                return lib;
            }

            // The library's own folder when the definition files lie there (a build
            // tree, or a host that copied them), else share/ryn_usr of its tree.
            static string DefinitionsDir(string library)
            {
                string folder = System.IO.Path.GetDirectoryName(System.IO.Path.GetFullPath(library));
                foreach (string candidate in new[] { folder, System.IO.Path.Combine(folder, "..", "share", "ryn_usr") })
                {
                    if (File.Exists(System.IO.Path.Combine(candidate, "ryn_cali_info_param_def.ini")))
                        return System.IO.Path.GetFullPath(candidate);
                }
                return null;
            }
        }

        public sealed class Sim
        {
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate ulong HandleFn();
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate IntPtr TextFn();
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate ulong CreateFn(IntPtr family, IntPtr options);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate ulong LoadFn(IntPtr path);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate int SaveFn(IntPtr path);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate int FailFn(IntPtr operation, uint call, uint times);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate int FailValueFn(IntPtr operation, uint call, uint times, long value);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate void VoidFn();
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate UIntPtr SizeFn();
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate IntPtr EntryFn(UIntPtr index);
            [UnmanagedFunctionPointer(CallingConvention.Cdecl)] public delegate int SetDevModeFn(ulong handle, uint mode, IntPtr modelCfg);

            CreateFn create;
            LoadFn load;
            SaveFn save;
            FailFn fail;
            FailValueFn failValue;
            public HandleFn Handle, Reset;
            public TextFn Family, LastError;
            public VoidFn ClearFaults, TraceClear;
            public SizeFn TraceSize;
            public EntryFn TraceOp, TraceText;
            public SetDevModeFn SetDevMode;

            static Sim loaded;

            public static Sim Get()
            {
                lock (loadLock)
                {
                    if (loaded == null) loaded = Load();
                    return loaded;
                }
            }

            // Beside the library (a build tree), in its tree's simulator folder
            // (lib/ryn_usr/sim, or the Windows zip's sim), or where RYN_USR_SIMULATOR says.
            static string SimulatorPath()
            {
                string named = Environment.GetEnvironmentVariable("RYN_USR_SIMULATOR");
                if (!string.IsNullOrEmpty(named)) return named;
                string name = IsWindows ? "ryn_hid.dll" : "libryn_hid.so";
                string library = LibraryPath();
                string folder = System.IO.Path.GetDirectoryName(System.IO.Path.GetFullPath(library));
                string[] candidates = {
                    System.IO.Path.Combine(folder, name),
                    System.IO.Path.Combine(folder, System.IO.Path.Combine("ryn_usr", System.IO.Path.Combine("sim", name))),
                    System.IO.Path.Combine(folder, System.IO.Path.Combine("..", System.IO.Path.Combine("sim", name))),
                };
                foreach (string candidate in candidates)
                    if (File.Exists(candidate)) return System.IO.Path.GetFullPath(candidate);
                throw new DllNotFoundException("ryn_usr: the simulated device library " + name + " was not found; set RYN_USR_SIMULATOR to its path");
            }

            static Sim Load()
            {
                string file = SimulatorPath();
                string why;
                IntPtr module = Open(file, out why);
                if (module == IntPtr.Zero) throw new DllNotFoundException("ryn_usr: cannot load " + file + ": " + why);
                Sim sim = new Sim();
                sim.create = Function<CreateFn>(module, "ryn_sim_create", file);
                sim.load = Function<LoadFn>(module, "ryn_sim_load", file);
                sim.save = Function<SaveFn>(module, "ryn_sim_save", file);
                sim.fail = Function<FailFn>(module, "ryn_sim_fail", file);
                sim.failValue = Function<FailValueFn>(module, "ryn_sim_fail_value", file);
                sim.Handle = Function<HandleFn>(module, "ryn_sim_handle", file);
                sim.Reset = Function<HandleFn>(module, "ryn_sim_reset", file);
                sim.Family = Function<TextFn>(module, "ryn_sim_family", file);
                sim.LastError = Function<TextFn>(module, "ryn_sim_last_error", file);
                sim.ClearFaults = Function<VoidFn>(module, "ryn_sim_clear_faults", file);
                sim.TraceClear = Function<VoidFn>(module, "ryn_sim_trace_clear", file);
                sim.TraceSize = Function<SizeFn>(module, "ryn_sim_trace_size", file);
                sim.TraceOp = Function<EntryFn>(module, "ryn_sim_trace_op", file);
                sim.TraceText = Function<EntryFn>(module, "ryn_sim_trace_text", file);
                sim.SetDevMode = Function<SetDevModeFn>(module, "ryn_set_dev_mode", file);
                return sim;
            }

            delegate T WithText<T>(IntPtr[] texts);

            static T Texts<T>(WithText<T> call, params string[] texts)
            {
                IntPtr[] pointers = new IntPtr[texts.Length];
                try
                {
                    for (int i = 0; i < texts.Length; ++i) pointers[i] = Utf8Alloc(texts[i]);
                    return call(pointers);
                }
                finally
                {
                    foreach (IntPtr p in pointers) if (p != IntPtr.Zero) Marshal.FreeHGlobal(p);
                }
            }

            public ulong Create(string family, string options) { return Texts(t => create(t[0], t[1]), family, options); }
            public ulong Load(string path) { return Texts(t => load(t[0]), path); }
            public int Save(string path) { return Texts(t => save(t[0]), path); }
            public int Fail(string op, uint call, uint times) { return Texts(t => fail(t[0], call, times), op); }
            public int FailValue(string op, uint call, uint times, long value) { return Texts(t => failValue(t[0], call, times, value), op); }
        }
    }
}
