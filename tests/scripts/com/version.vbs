' Creates Quillpost.Mailer and prints its Version, or why it could not.
On Error Resume Next
Dim m
Set m = CreateObject("Quillpost.Mailer")
If Err.Number <> 0 Then
    WScript.Echo "CreateObject failed: " & Err.Description
Else
    WScript.Echo m.Version
End If
