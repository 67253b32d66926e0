' Sends an HTML message with an inline image through the COM surface.
' Arguments: the server (host:port), the image file and, optionally, an RSA
' key file that signs it (DKIM for example.test, selector wine).
' Prints "sent" or "not sent: <Response>".
Option Explicit
Dim m, a
Set a = WScript.Arguments
Set m = CreateObject("Quillpost.Mailer")
m.RemoteHost = a(0)
m.CharSet = 3
m.FromAddress = "script@example.test"
m.AddRecipient "Linux", "linux@example.test"
m.Subject = "HTML from VBScript"
If a.Count > 2 Then
    m.DKIMDomain = "example.test"
    m.DKIMSelector = "wine"
    m.DKIMKeyFile = a(2)
End If
m.HTMLBody = "<p><img src=""cid:logo"" alt=""Logo""></p><p>Caf&eacute; <a href=""https://example.test/"">news</a></p>"
If m.AddEmbeddedImage(a(1), "logo") = False Then
    WScript.Echo "not sent: " & m.Response
ElseIf m.AddEmbeddedImage(a(1), "bad id") Then
    WScript.Echo "not sent: an invalid Content-ID was taken"
ElseIf m.SendMail Then
    WScript.Echo "sent"
Else
    WScript.Echo "not sent: " & m.Response
End If
