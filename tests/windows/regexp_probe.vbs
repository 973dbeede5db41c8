' Prints [12] when the system's regular-expression object finishes a global Replace whose
' pattern also matches the empty text, as the digits filter's pattern does.
Dim r
Set r = CreateObject("VBScript.RegExp")
r.Pattern = "[^\d]*"
r.IgnoreCase = True
r.Global = True
WScript.Echo "[" & r.Replace("a1b2", "") & "]"
