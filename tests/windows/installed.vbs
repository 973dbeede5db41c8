' pelmo.zaverer as the installer leaves it: after installing, the object is created by its ProgID
' and its lottery address shows the host given to the installer; after removing, CreateObject
' fails with 429.
' Usage: cscript //nologo installed.vbs installed LOTTERYHOST | removed
' Checked by hand throughout: this script engine ends silently with status 0 on an unhandled
' error.
Option Explicit
On Error Resume Next

Dim failures : failures = 0

Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok    " & what
  Else
    WScript.Echo "FAIL  " & what
    failures = failures + 1
  End If
End Sub

Dim z, k, a, b, c, d, e, f, g, h, i, answer, wanted
Set z = CreateObject("pelmo.zaverer")
If WScript.Arguments(0) = "installed" Then
  Check Err.Number = 0, "CreateObject(""pelmo.zaverer"") after installing: " & Err.Number
  Err.Clear
  k = "caipiao"
  answer = z.D1616_m(k, a, b, c, d, e, f, g, h, i)
  wanted = "http://" & WScript.Arguments(1) & "/caipiao/js/caipiao_data.js"
  Check Err.Number = 0 And answer = wanted, "the lottery address shows the installed host: " & answer
Else
  Check Err.Number = 429, "CreateObject(""pelmo.zaverer"") after removing fails with 429: " & _
        Err.Number
End If
Err.Clear
WScript.Echo failures & " failure(s)"
WScript.Quit failures
