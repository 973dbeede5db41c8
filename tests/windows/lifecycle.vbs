' pelmo.zaverer from a script: the page hooks with page objects written in the script itself,
' write-backs by reference and by value, failures as Err, and the unregistered state.
' Usage: cscript //nologo lifecycle.vbs registered|unregistered
' Every step is checked by hand: this script engine ends silently with status 0 on an
' unhandled error, so nothing may be left unhandled.
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

' The page objects as the web server hands them over, with a log of what was read.
Class PageRequest
  Public Variables
  Public Property Get ServerVariables
    Set ServerVariables = Variables
  End Property
End Class

Class PageServer
  Public Function CreateObject(progid)
    Err.Raise 429, "test page", "no objects on this page"
  End Function
End Class

Class Inert
End Class

Class PageContext
  ' One name a line: this script engine takes no lists in a class's declarations.
  Public Reads
  Public TheRequest
  Public TheServer
  Public TheApplication
  Public TheResponse
  Public TheSession
  Private Sub Class_Initialize()
    Reads = ""
    Set TheRequest = New PageRequest
    Set TheRequest.Variables = CreateObject("Scripting.Dictionary")
    Set TheServer = New PageServer
    Set TheApplication = New Inert
    Set TheResponse = New Inert
    Set TheSession = New Inert
  End Sub
  Public Property Get Application
    Reads = Reads & "Application,"
    Set Application = TheApplication
  End Property
  Public Property Get Request
    Reads = Reads & "Request,"
    Set Request = TheRequest
  End Property
  Public Property Get Response
    Reads = Reads & "Response,"
    Set Response = TheResponse
  End Property
  Public Property Get Server
    Reads = Reads & "Server,"
    Set Server = TheServer
  End Property
  Public Property Get Session
    Reads = Reads & "Session,"
    Set Session = TheSession
  End Property
End Class

Dim o, r, x, page, number

If WScript.Arguments.Count = 1 Then
  If WScript.Arguments(0) = "unregistered" Then
    Set o = CreateObject("pelmo.zaverer")
    number = Err.Number
    Err.Clear
    Check number = 429, "after unregistration CreateObject(""pelmo.zaverer"") fails with 429"
    WScript.Echo failures & " failure(s)"
    WScript.Quit failures
  End If
End If

Set o = CreateObject("pelmo.zaverer")
Check Err.Number = 0, "CreateObject(""pelmo.zaverer"")"
Err.Clear

r = o.isPb()
Check Err.Number = 91 And Err.Source = "pelmo.zaverer", _
      "isPb before OnStartPage: Err.Number 91 from pelmo.zaverer"
Err.Clear

Set page = New PageContext
page.TheRequest.Variables.Item("REQUEST_METHOD") = "POST"
o.OnStartPage page
Check Err.Number = 0, "OnStartPage with a page made of script objects"
Err.Clear
Check page.Reads = "Application,Request,Response,Server,Session,", _
      "the page is read in the order Application, Request, Response, Server, Session"
r = o.isPb()
Check Err.Number = 0 And r = True, "isPb True for a POST"
Err.Clear
page.TheRequest.Variables.Item("REQUEST_METHOD") = "GET"
r = o.isPb()
Check Err.Number = 0 And r = False, "isPb reads the request again on every call: False for a GET"
Err.Clear

r = Empty
r = o.Tarvessa_BytesToBstr(x, "GB2312")
Check Err.Number = 429 And IsEmpty(r), _
      "the page's Server failing CreateObject fails the call with its own number"
Err.Clear

o.OnEndPage
Check Err.Number = 0, "OnEndPage"
Err.Clear
r = o.isPb()
Check Err.Number = 91, "after OnEndPage the Request object is gone"
Err.Clear

' Write-backs land in the script's variables passed by reference, not in copies.
x = " 12.7 "
r = o.Bint(x)
Check x = "12.7" And r = 13, "Bint(x) writes the trimmed text back into x"
x = " 12.7 "
o.Bint (x)
Check x = " 12.7 ", "o.Bint (x) passes a copy: x is left alone"
Err.Clear

' Failures reach the script as Err with the component's numbers and descriptions.
r = Empty
r = o.Emailis(Null)
Check Err.Number = 94 And Err.Description = "Invalid use of Null" And IsEmpty(r), _
      "Emailis(Null): Err.Number 94, Invalid use of Null, no result"
Err.Clear
r = o.Rm()
Check Err.Number = 450, "a call with too few arguments: Err.Number 450"
Err.Clear
r = o.NoSuchMethod(1)
Check Err.Number = 438, "an unknown method: Err.Number 438"
Err.Clear

' Markers whose pattern a backtracking engine would let the page make cost minutes: each call
' answers, or fails with 28, within two seconds, and the object answers normally afterwards.
Dim started, seconds, ok, markers, overs, pages, i
pages = Array(Replace(Space(3000), " ", "<td>") & "</td>", String(5000, "a") & "y", _
              String(20000, "a") & "x")
markers = Array("<td.*>.*class=", "a+a+x", "a{0,15}a{0,15}a{0,15}a{0,15}a{0,15}b")
overs = Array("</td>", "y", "x")
For i = 0 To 2
  started = Timer
  r = o.D1616_body2s(pages(i), markers(i), overs(i), "|", False)
  seconds = Timer - started
  If seconds < 0 Then seconds = seconds + 86400
  ok = (Err.Number = 0 And r = "") Or Err.Number = 28
  Check ok And seconds < 2, "D1616_body2s with the marker " & markers(i) & " on " & _
        Len(pages(i)) & " units: Err.Number " & Err.Number & " in " & FormatNumber(seconds, 2) & " s"
  Err.Clear
Next
r = o.D1616_body2s("x1; y2;", "x|y", ";", "###", False)
Check Err.Number = 0 And r = "x###y2;###", "then a pattern marker answers as before: " & r
Err.Clear

Set o = Nothing
Set page = Nothing
WScript.Echo failures & " failure(s)"
WScript.Quit failures
