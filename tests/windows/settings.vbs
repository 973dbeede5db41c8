' Outside hosts from the registry, HKLM\SOFTWARE\pelmo, read by one running object while the
' script changes the key: each change must show in the lottery address within a few seconds,
' without a new object. D1616_m("caipiao") answers http://LOTTERYHOST/caipiao/js/caipiao_data.js.
' Usage: cscript //nologo settings.vbs [environment-host]
'   with an argument, PELMO_LOTTERY_HOST is set to it and must win over every registry value.
' Checked by hand throughout: this script engine ends silently with status 0 on an unhandled
' error. Wine's script host has no WScript.Sleep and no WshShell.RegDelete: the script waits by
' the clock and deletes through reg.exe (of its own architecture, so in the same view).
Option Explicit
On Error Resume Next

Const kKey = "HKLM\SOFTWARE\pelmo\"
Const kDefault = "lottery.example"
Const kPatienceSeconds = 6

Dim failures : failures = 0
Dim shell, z, environment_host
Set shell = CreateObject("WScript.Shell")
environment_host = ""
If WScript.Arguments.Count > 0 Then environment_host = WScript.Arguments(0)

Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok    " & what
  Else
    WScript.Echo "FAIL  " & what
    failures = failures + 1
  End If
End Sub

Function Lottery()
  Dim k, a, b, c, d, e, f, g, h, i
  k = "caipiao"
  Lottery = z.D1616_m(k, a, b, c, d, e, f, g, h, i)
  If Err.Number <> 0 Then
    Lottery = "error " & Err.Number & " " & Err.Description
    Err.Clear
  End If
End Function

' Waits until the object answers with the host (the environment's, when set), reporting how long
' the change took to arrive.
Sub Expect(host, what)
  Dim wanted, started, answer, waited
  If environment_host <> "" Then host = environment_host
  wanted = "http://" & host & "/caipiao/js/caipiao_data.js"
  started = Timer
  Do
    answer = Lottery()
    waited = Timer - started
    If waited < 0 Then waited = waited + 86400
    If answer = wanted Or waited > kPatienceSeconds Then Exit Do
    Pause
  Loop
  Check answer = wanted, what & ": " & answer & " (after " & FormatNumber(waited, 1) & " s)"
End Sub

Sub Pause()
  Dim started : started = Timer
  Do While Timer >= started And Timer - started < 0.1
  Loop
End Sub

Sub DeleteKey()
  Check shell.Run("reg delete HKLM\SOFTWARE\pelmo /f", 0, True) = 0 And Err.Number = 0, _
        "reg delete HKLM\SOFTWARE\pelmo"
  Err.Clear
End Sub

Sub Write(value, kind, what)
  shell.RegWrite kKey & "LotteryHost", value, kind
  Check Err.Number = 0, "RegWrite " & what
  Err.Clear
End Sub

' A clean start: no key.
shell.RegWrite kKey & "LotteryHost", "", "REG_SZ"
DeleteKey

Set z = CreateObject("pelmo.zaverer")
Check Err.Number = 0, "CreateObject(""pelmo.zaverer"")"
Err.Clear
If failures > 0 Then WScript.Echo failures & " failure(s)" : WScript.Quit failures

Expect kDefault, "no key: the build's default"
Write "one.example", "REG_SZ", "a first host"
Expect "one.example", "the key created under a running object"
Write "two.example:8080", "REG_SZ", "a changed host"
Expect "two.example:8080", "the value changed"
Write 8080, "REG_DWORD", "a number"
Expect "8080", "a REG_DWORD in decimal"
Write "", "REG_SZ", "an empty value"
Expect kDefault, "empty is unset"
Write "three.example", "REG_SZ", "a host again"
Expect "three.example", "set again"
DeleteKey
Expect kDefault, "the key removed"

WScript.Echo failures & " failure(s)"
WScript.Quit failures
