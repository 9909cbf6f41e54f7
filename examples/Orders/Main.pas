unit Main;

interface

uses
  Windows, Messages, SysUtils, Classes, Graphics, Controls, Forms, Dialogs,
  StdCtrls, Grids, DBGrids, DB, dbtables, ExtCtrls;

type
  TMainForm = class(TForm)
    OrdersGrid: TDBGrid;
    OrdersSource: TDataSource;
    SearchQuery: TQuery;
    StatusTable: TTable;
    SearchPanel: TPanel;
    SearchEdit: TEdit;
    SearchButton: TButton;
    SearchQueryORDER_NO: TIntegerField;
    SearchQueryCUSTOMER: TStringField;
    SearchQueryORDER_DATE: TDateTimeField;
    SearchQuerySTATUS: TStringField;
    procedure SearchButtonClick(Sender: TObject);
  private
    function BuildQuery(const Text: string): TQuery;
  end;

var
  MainForm: TMainForm;

implementation

uses DataMod;

{$R *.dfm}

(* The search builds a fresh TQuery per click; the old one is freed with the form. *)
function TMainForm.BuildQuery(const Text: string): TQuery;
begin
  Result := TQuery.Create(Self);
  Result.DatabaseName := 'ORDERS_DB';
  Result.SQL.Text := 'select * from ORDERS where CUSTOMER like ''' + Text + '%''';
  // The message below names TQuery on purpose: strings are never rewritten.
  Result.Tag := Length('TQuery');
end;

procedure TMainForm.SearchButtonClick(Sender: TObject);
var
  Q: TQuery;
begin
  Q := BuildQuery(SearchEdit.Text);
  try
    Q.Open;
    OrdersSource.DataSet := Q;
  except
    on E: EDBEngineError do ShowMessage('It''s not possible to search now: ' + E.Message);
  end;
end;

end.
