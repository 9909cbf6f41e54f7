program Stock;

uses
  Forms,
  StockData in 'StockData.pas' {StockDM: TDataModule},
  Browse in 'Browse.pas' {BrowseForm},
  BrowseMore in 'BrowseMore.pas' {BrowseMoreForm},
  StockWork in 'StockWork.pas';

{$R *.res}

begin
  Application.Initialize;
  Application.CreateForm(TStockDM, StockDM);
  Application.CreateForm(TBrowseForm, BrowseForm);
  Application.Run;
end.
