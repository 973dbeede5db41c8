' The process's fetch cache seen from a script: one object fetches a counted page of the loopback
' site twice, a second object once. The site answers "request N", N counting that page's requests,
' so the bodies tell whether each fetch reached the server.
' Usage: cscript //nologo fetch_cache.vbs URL cached|uncached|refused|events
'   cached: all three fetches answered by the first request; uncached: each its own request;
'   refused: each refused as an internal address (0x800C0007), FetchPrivateAddresses being deny;
'   events: one fetch, whatever it answers, for the event log's trace.
' Checked by hand throughout: this script engine ends silently with status 0 on an unhandled error.
Option Explicit
On Error Resume Next

Dim failures : failures = 0
Dim url, cached, refused, first, second
url = WScript.Arguments(0)
cached = (WScript.Arguments(1) = "cached")
refused = (WScript.Arguments(1) = "refused")

Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok    " & what
  Else
    WScript.Echo "FAIL  " & what
    failures = failures + 1
  End If
End Sub

' The page through the pair decoder, which needs no page object.
Sub Fetch(z, n, what)
  ' Each procedure needs its own: without it a failed call leaves the procedure unseen.
  On Error Resume Next
  Dim address, body, wanted
  address = url
  body = z.Tarvessa_getHTTPPage_new(address)
  If Err.Number <> 0 Then
    body = "error " & Err.Number & " " & Err.Description
    Err.Clear
  End If
  wanted = "request " & n
  If cached Then wanted = "request 1"
  Dim passed
  passed = (body = wanted)
  If refused Then
    passed = (InStr(body, "error -2146697209 ") = 1)
    If passed Then passed = (InStr(body, "FetchPrivateAddresses is deny") > 0)
  End If
  Check passed, what & ": " & body
End Sub

If WScript.Arguments(1) = "events" Then
  Set first = CreateObject("pelmo.zaverer")
  first.Tarvessa_getHTTPPage_new url
  Check Err.Number = 0, "one fetch for the event log: " & Err.Number & " " & Err.Description
  WScript.Echo failures & " failure(s)"
  WScript.Quit failures
End If

Set first = CreateObject("pelmo.zaverer")
Set second = CreateObject("pelmo.zaverer")
Check Err.Number = 0, "CreateObject(""pelmo.zaverer"") twice"
Err.Clear
If failures > 0 Then WScript.Echo failures & " failure(s)" : WScript.Quit failures

Fetch first, 1, "first object, first fetch"
Fetch first, 2, "first object, same address again"
Fetch second, 3, "second object, same address"
WScript.Echo failures & " failure(s)"
WScript.Quit failures
