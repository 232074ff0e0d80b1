Attribute VB_Name = "modDatabase"
'------------------------------------------------------------------
' modDatabase - the one ADO connection of the application and the
' helpers that every form uses to read and write orders.
'------------------------------------------------------------------
Option Explicit

Private mConn As ADODB.Connection

Public Function OpenDatabase(ByVal ConnectionString As String) As Boolean
    On Error GoTo OpenFailed
    Set mConn = New ADODB.Connection
    mConn.ConnectionTimeout = 30
    mConn.Open ConnectionString
    LogMessage "Database opened", llInfo
    OpenDatabase = True
    Exit Function

OpenFailed:
    LogError "OpenDatabase", Err.Number, Err.Description
    OpenDatabase = False
End Function

Public Sub CloseDatabase()
    If Not mConn Is Nothing Then
        If mConn.State = adStateOpen Then mConn.Close
        Set mConn = Nothing
        LogMessage "Database closed", llInfo
    End If
End Sub

Public Function RunQuery(ByVal Sql As String, ParamArray Values() As Variant) As ADODB.Recordset
    Dim Cmd As ADODB.Command
    Dim i As Integer

    Set Cmd = New ADODB.Command
    Set Cmd.ActiveConnection = mConn
    Cmd.CommandText = Sql
    For i = LBound(Values) To UBound(Values)
        Cmd.Parameters.Append Cmd.CreateParameter("p" & i, adVariant, adParamInput, , Values(i))
    Next i
    Set RunQuery = Cmd.Execute
End Function

Public Function ExecuteCommand(ByVal Sql As String, ParamArray Values() As Variant) As Long
    Dim Cmd As ADODB.Command
    Dim Affected As Long
    Dim i As Integer

    On Error GoTo CommandFailed
    Set Cmd = New ADODB.Command
    Set Cmd.ActiveConnection = mConn
    Cmd.CommandText = Sql
    For i = LBound(Values) To UBound(Values)
        Cmd.Parameters.Append Cmd.CreateParameter("p" & i, adVariant, adParamInput, , Values(i))
    Next i
    Cmd.Execute Affected
    ExecuteCommand = Affected
    Exit Function

CommandFailed:
    LogError "ExecuteCommand", Err.Number, Err.Description
    ExecuteCommand = -1
End Function

Public Function NextOrderNumber() As Long
    Dim Rs As ADODB.Recordset
    Set Rs = RunQuery("SELECT ISNULL(MAX(OrderNo), 1000) + 1 FROM Orders")
    NextOrderNumber = Rs.Fields(0).Value
    Rs.Close
End Function
