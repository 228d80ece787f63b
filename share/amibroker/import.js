// Imports a quote file into AmiBroker and refreshes its windows.
//
// Runs in the Windows Script Host that comes with Wine (or Windows):
//     wine cscript //nologo import.js "Z:\path\to\ami2.txt" aqd.format
// The first argument is the quote file as a Windows path, the second the
// import definition AmiBroker reads it with (a file of its Formats folder).
// Exit status 0 when AmiBroker accepted the file, 1 when it refused it,
// 2 when the arguments are wrong and 3 when AmiBroker cannot be started.

var args = WScript.Arguments;
if (args.length < 1 || args.length > 2) {
    WScript.StdErr.WriteLine("usage: cscript import.js QUOTEFILE [DEFINITION]");
    WScript.Quit(2);
}
var quoteFile = args(0);
var definition = args.length > 1 ? args(1) : "aqd.format";

var broker;
try {
    broker = new ActiveXObject("Broker.Application");
} catch (e) {
    WScript.StdErr.WriteLine("AmiBroker cannot be started: " + e.message);
    WScript.Quit(3);
}

// Import(type, file, definition): type 0 is an ASCII import; it returns 0
// when the import worked.
var result = broker.Import(0, quoteFile, definition);
broker.RefreshAll();
WScript.Quit(result == 0 ? 0 : 1);
